#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/NotificationSetCommand.h"

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

NotificationSetCommand::NotificationSetCommand(const std::string& aTopic, const std::string& aPayload,
                                               const std::string& aCorrelation)
    : Orvik::Utility::Notification(WRITE, UNDEFINED, nullptr, nullptr),
      topic(aTopic),
      payload(aPayload),
      correlation(aCorrelation)
{
}

NotificationSetCommand::~NotificationSetCommand() = default;

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
