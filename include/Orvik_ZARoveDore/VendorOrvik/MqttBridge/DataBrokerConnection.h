#pragma once

#include <Poco/Types.h>

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// How the bridge reaches its broker and logs in. Empty texts are not configured: no user name means
/// no credentials, no CA file means the system's trust store, no certificate means no client
/// certificate, no ALPN name means none is offered.
class DataBrokerConnection
{
public:
    static constexpr Poco::UInt32 _DEFAULT_KEEP_ALIVE_SECONDS = 30;

    /// mqtt://host[:port], mqtts://host[:port], ws://host[:port][/path] or wss://host[:port][/path].
    std::string url;
    std::string clientId;
    Poco::UInt32 keepAliveSeconds = _DEFAULT_KEEP_ALIVE_SECONDS;
    /// False: the broker keeps the session (subscriptions, QoS 1 messages) across disconnects.
    bool cleanSession = true;
    std::string userName;
    std::string password;
    std::string caFile;
    /// Client certificate and its private key, PEM files.
    std::string certificateFile;
    std::string keyFile;
    std::string alpnProtocol;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
