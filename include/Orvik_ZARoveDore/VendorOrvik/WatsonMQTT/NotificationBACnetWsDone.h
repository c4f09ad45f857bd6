#pragma once

#include "Orvik_Utility/Notification.h"

#include <memory>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

class BACnetWsHandler;

/// A finished BACnet/WS job on its way to the bridge's thread (action RESULT, response action
/// UNDEFINED, no reply queue, no event). The notification owns the job: the job is released with the
/// notification, also when the bridge has ended before it could publish the reply.
class NotificationBACnetWsDone : public Orvik::Utility::Notification
{
public:
    explicit NotificationBACnetWsDone(BACnetWsHandler* aBACnetWsHandler);

    std::unique_ptr<BACnetWsHandler> pBACnetWsHandler;

protected:
    ~NotificationBACnetWsDone() override;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
