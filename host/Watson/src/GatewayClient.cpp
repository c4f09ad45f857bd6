#include "Orvik_Watson/GatewayClient.h"

namespace Orvik::MQTT::Watson
{

GatewayClient::GatewayClient(const DataConnection& connection)
    : IOTP_GatewayClient(connection, connection.getPort())
{
}

}  // namespace Orvik::MQTT::Watson
