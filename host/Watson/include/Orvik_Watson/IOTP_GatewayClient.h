#pragma once

#include "Orvik_Watson/IOTP_Client.h"

#include <string>

namespace Watson_IOTP
{

/// A gateway on the platform: it connects with the client id
/// "g:<orgId>:<typeId>:<deviceId>" (type and id of the gateway from the properties),
/// publishes events for itself and for the devices attached to it, and receives the
/// commands of itself and of the attached devices it subscribes for (at QoS 1).
///
/// Names that become topic levels must be valid levels (Topics::isValidLevel), else the
/// call throws Poco::InvalidArgumentException and sends nothing. Failures of the MQTT
/// client are reported as IOTP_Client describes.
class IOTP_GatewayClient : public IOTP_Client
{
public:
    static constexpr int COMMAND_QOS = 1;

    IOTP_GatewayClient(const Properties& properties, int port);

    void subscribeGatewayCommands();
    void subscribeDeviceCommands(const std::string& deviceType, const std::string& deviceId);
    void publishGatewayEvent(const std::string& eventId, const std::string& format, const std::string& data,
                             int qos);
    void publishDeviceEvent(const std::string& deviceType, const std::string& deviceId,
                            const std::string& eventId, const std::string& format, const std::string& data,
                            int qos);

    static std::string gatewayClientId(const Properties& properties);
};

}  // namespace Watson_IOTP
