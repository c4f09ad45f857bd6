#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/BrokerClient.h"

#include "ChildProcess.h"
#include "FreePort.h"
#include "TlsCertificates.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

using namespace Orvik::BACnet::App::VendorOrvik::MqttBridge;
using Orvik::Test::ChildProcess;

namespace
{

const std::string ADVERTISED = "ALPN protocols advertised by the client: ";

/// The TLS handshake of the bridge's client against openssl's test server, which prints the ALPN names
/// the client offers (it takes "x-cloud-mqtt" or none). The server is no broker: it is ended once the
/// handshake is over.
std::string advertisedAlpn(const std::string& alpnProtocol)
{
    const Orvik::Test::TlsCertificates tls("127.0.0.1");
    const std::string port = std::to_string(Orvik::Test::freeLoopbackPort());
    ChildProcess server("openssl", {"s_server", "-accept", "127.0.0.1:" + port, "-cert", tls.serverCertFile(),
                                    "-key", tls.serverKeyFile(), "-alpn", "x-cloud-mqtt", "-naccept", "1"});
    EXPECT_TRUE(server.waitForLineStarting(ChildProcess::Stream::OUTPUT, "ACCEPT", 10000))
        << server.errorText();
    DataBrokerConnection connection;
    connection.url = "mqtts://127.0.0.1:" + port;
    connection.clientId = "alpn-test";
    connection.caFile = tls.caFile();
    connection.alpnProtocol = alpnProtocol;
    BrokerClient client(connection, "site7/status", "offline", [](auto&&...) {});
    std::future<bool> connected = std::async(std::launch::async, [&] { return client.connect(); });
    const auto handshakeEnded = [](const std::vector<std::string>& lines)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [](const std::string& line)
                           { return line.rfind("CIPHER is", 0) == 0 || line == "CONNECTION CLOSED"; });
    };
    EXPECT_TRUE(server.waitFor(ChildProcess::Stream::OUTPUT, handshakeEnded, 10000))
        << alpnProtocol << ": " << server.errorText();
    server.kill();
    EXPECT_FALSE(connected.get());
    for (const std::string& line : server.lines(ChildProcess::Stream::OUTPUT))
    {
        if (line.rfind(ADVERTISED, 0) == 0)
            return line.substr(ADVERTISED.size());
    }
    return "";
}

}  // namespace

TEST(BrokerClientTest, OffersTheConfiguredAlpnNameAndNoneWithoutOne)
{
    // A cloud service that takes MQTT on port 443 only by its ALPN name drops a client that offers none.
    EXPECT_EQ(advertisedAlpn("x-cloud-mqtt"), "x-cloud-mqtt");
    EXPECT_EQ(advertisedAlpn(""), "");
    EXPECT_EQ(advertisedAlpn("x-other"), "x-other");
}
