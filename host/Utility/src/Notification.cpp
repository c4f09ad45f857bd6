#include "Orvik_Utility/Notification.h"

namespace Orvik::Utility
{

namespace
{
const char* const ACTION_NAMES[] = {
    "UNDEFINED", "READ",   "WRITE",        "ACK_WRITE", "COV_EVENT",      "DEBOUNCED_VALUE",
    "PULSE",     "RESULT", "ACK",          "SUBSCRIBE", "UNSUBSCRIBE",    "ADD",
    "REMOVE",    "ERROR",  "STOP_RUNNING", "BROADCAST", "SANITY_REQUEST", "SANITY_RESPONSE"};
}  // namespace

Notification::Notification(Action action, Action responseAction, Poco::NotificationQueue* pReplyQueue,
                           Poco::Event* pEvent)
    : _action(action), _responseAction(responseAction), _pReplyQueue(pReplyQueue), _pEvent(pEvent)
{
}

Notification::~Notification() = default;

void Notification::signal() const
{
    if (_pEvent != nullptr)
    {
        _pEvent->set();
    }
}

std::string Notification::actionName(Action action)
{
    const auto index = static_cast<std::size_t>(action);
    if (action >= 0 && index < sizeof(ACTION_NAMES) / sizeof(ACTION_NAMES[0]))
    {
        return ACTION_NAMES[index];
    }
    return "ACTION_" + std::to_string(static_cast<int>(action));
}

std::string Notification::name() const
{
    return "Notification(" + actionName(_action) + ")";
}

}  // namespace Orvik::Utility
