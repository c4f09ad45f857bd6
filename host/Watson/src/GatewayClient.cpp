#include "Orvik_Watson/GatewayClient.h"

namespace Orvik
{
namespace MQTT
{
namespace Watson
{

GatewayClient::GatewayClient(const DataConnection& connection)
    : IOTP_GatewayClient(connection, connection.getPort())
{
}

}  // namespace Watson
}  // namespace MQTT
}  // namespace Orvik
