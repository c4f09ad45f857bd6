#pragma once

#include "Orvik_Utility/Notification.h"

namespace Orvik::BACnet::App
{

/// A request to the app runtime that carries nothing of its own.
///
/// The manager's loop and the peripheral manager app recognise it and leave it without effect;
/// nothing in this library creates one.
class NotificationAppRequest : public Orvik::Utility::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationAppRequest>;

    NotificationAppRequest();

protected:
    ~NotificationAppRequest() override;
};

}  // namespace Orvik::BACnet::App
