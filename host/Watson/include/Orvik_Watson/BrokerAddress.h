#pragma once

#include "Orvik_Watson/Properties.h"

#include <string>

namespace Watson_IOTP
{

/// Where the MQTT broker of an organisation is, and whether the connection uses TLS.
///
/// The platform's rule: the broker of organisation `<orgId>` is the host
/// `<orgId>.messaging.<domain>`; port 8883 is TLS (1.2 or later, the server certificate
/// verified against the trust store, and its name against the host), any other port
/// (the platform's is 1883) is plain MQTT.
///
/// Local broker rule, for test and lab setups that have no name service for the
/// platform's host names: when the domain is "localhost" or an IPv4 literal
/// (for example "127.0.0.1"), it names the broker host itself and the organisation id
/// is not put in front. Such a domain may end in ":<port>" (for example
/// "127.0.0.1:41883"); that port is then dialled instead of the given one, while the
/// given port still selects plain or TLS. So a gateway configured for the secure port
/// with the domain "localhost:40001" talks TLS to a broker on localhost port 40001.
class BrokerAddress
{
public:
    static constexpr int SECURE_PORT = 8883;
    static constexpr int PLAIN_PORT = 1883;

    /// Throws Poco::InvalidArgumentException when the port is not 1 to 65535 or a local
    /// domain carries an invalid port.
    BrokerAddress(const Properties& properties, int port);

    const std::string& host() const { return _host; }
    int port() const { return _port; }
    bool secure() const { return _secure; }
    /// "tcp://host:port" or "ssl://host:port", as the MQTT client takes it.
    std::string uri() const;

private:
    static bool isLocalHost(const std::string& host);
    static int checkedPort(int port);

    std::string _host;
    int _port;
    bool _secure;
};

}  // namespace Watson_IOTP
