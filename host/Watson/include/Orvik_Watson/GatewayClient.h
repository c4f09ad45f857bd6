#pragma once

#include "Orvik_Watson/DataConnection.h"
#include "Orvik_Watson/IOTP_GatewayClient.h"

namespace Orvik::MQTT::Watson
{

/// The gateway's client of the platform, made from the gateway's connection data: the
/// broker of the organisation (or the local broker the domain names, see
/// Watson_IOTP::BrokerAddress), as the gateway device, with the authentication method,
/// the token and the trust store, on the connection's port. Connecting, publishing,
/// subscribing and command delivery are those of Watson_IOTP::IOTP_GatewayClient.
class GatewayClient : public Watson_IOTP::IOTP_GatewayClient
{
public:
    explicit GatewayClient(const DataConnection& connection);
};

}  // namespace Orvik::MQTT::Watson
