#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Event.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Types.h>

#include <string>

namespace Orvik::Utility
{

/// The host's general notification: an action, a second action (the action a
/// reply is expected to carry, or the request that a reply answers), an optional
/// reply queue and an optional event.
///
/// Neither the reply queue nor the event is owned: whoever creates the
/// notification keeps them alive until the receiver is done with it. A receiver
/// answers by posting to getReplyQueue() when there is one, and calls signal()
/// to wake a sender that waits on the event.
class Notification : public Poco::Notification
{
public:
    using Ptr = Poco::AutoPtr<Notification>;

    /// The numbers are fixed: other processes and stored configuration use them. They travel as
    /// 32-bit signed integers, so any such number, also one outside this list, is a valid Action
    /// (actionName() names it, handleNotification() of the queue worker ignores it).
    enum Action : Poco::Int32
    {
        UNDEFINED = 0,
        READ = 1,
        WRITE = 2,
        ACK_WRITE = 3,
        COV_EVENT = 4,
        DEBOUNCED_VALUE = 5,
        PULSE = 6,
        RESULT = 7,
        ACK = 8,
        SUBSCRIBE = 9,
        UNSUBSCRIBE = 10,
        ADD = 11,
        REMOVE = 12,
        ERROR = 13,
        STOP_RUNNING = 14,
        BROADCAST = 15,
        SANITY_REQUEST = 16,
        SANITY_RESPONSE = 17
    };

    explicit Notification(Action action = UNDEFINED, Action responseAction = UNDEFINED,
                          Poco::NotificationQueue* pReplyQueue = nullptr, Poco::Event* pEvent = nullptr);

    Action getAction() const { return _action; }
    Action getResponseAction() const { return _responseAction; }
    Poco::NotificationQueue* getReplyQueue() const { return _pReplyQueue; }
    Poco::Event* getEvent() const { return _pEvent; }

    /// Sets the event, if there is one.
    void signal() const;

    /// The action's name, for example "STOP_RUNNING"; "ACTION_<number>" for a
    /// number outside the list.
    static std::string actionName(Action action);

    /// "Notification(<action name>)".
    std::string name() const override;

protected:
    ~Notification() override;

private:
    const Action _action;
    const Action _responseAction;
    Poco::NotificationQueue* const _pReplyQueue;
    Poco::Event* const _pEvent;
};

}  // namespace Orvik::Utility
