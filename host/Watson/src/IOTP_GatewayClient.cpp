#include "Orvik_Watson/IOTP_GatewayClient.h"

#include "Orvik_Watson/Topics.h"

namespace Watson_IOTP
{

IOTP_GatewayClient::IOTP_GatewayClient(const Properties& properties, int port)
    : IOTP_Client(properties, gatewayClientId(properties), port)
{
}

void IOTP_GatewayClient::subscribeGatewayCommands()
{
    subscribeDeviceCommands(properties().getdeviceType(), properties().getdeviceId());
}

void IOTP_GatewayClient::subscribeDeviceCommands(const std::string& deviceType, const std::string& deviceId)
{
    subscribe(Topics::commands(deviceType, deviceId), COMMAND_QOS);
}

void IOTP_GatewayClient::publishGatewayEvent(const std::string& eventId, const std::string& format,
                                             const std::string& data, int qos)
{
    publishDeviceEvent(properties().getdeviceType(), properties().getdeviceId(), eventId, format, data, qos);
}

void IOTP_GatewayClient::publishDeviceEvent(const std::string& deviceType, const std::string& deviceId,
                                            const std::string& eventId, const std::string& format,
                                            const std::string& data, int qos)
{
    publish(Topics::event(deviceType, deviceId, eventId, format), data, qos);
}

std::string IOTP_GatewayClient::gatewayClientId(const Properties& properties)
{
    return "g:" + properties.getorgId() + ":" + properties.getdeviceType() + ":" + properties.getdeviceId();
}

}  // namespace Watson_IOTP
