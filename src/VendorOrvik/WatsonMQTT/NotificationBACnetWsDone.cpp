#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/NotificationBACnetWsDone.h"

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

NotificationBACnetWsDone::NotificationBACnetWsDone(BACnetWsHandler* aBACnetWsHandler)
    : Orvik::Utility::Notification(RESULT, UNDEFINED, nullptr, nullptr), pBACnetWsHandler(aBACnetWsHandler)
{
}

NotificationBACnetWsDone::~NotificationBACnetWsDone() = default;

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
