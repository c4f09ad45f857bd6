#pragma once

#include "Orvik_Utility/Notification.h"

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// A message on a command topic, handed from the MQTT client's thread to the bridge's (action
/// WRITE, no reply queue): the bridge checks and carries it out on its own thread, where its result
/// is published.
class NotificationSetCommand : public Orvik::Utility::Notification
{
public:
    NotificationSetCommand(const std::string& aTopic, const std::string& aPayload,
                           const std::string& aCorrelation);

    const std::string topic;
    const std::string payload;
    /// The command's correlation data, "" when it has none.
    const std::string correlation;

protected:
    ~NotificationSetCommand() override;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
