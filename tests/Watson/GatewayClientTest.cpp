#include "Orvik_Watson/GatewayClient.h"

#include "Eventually.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "TlsCertificates.h"

#include <Poco/Exception.h>
#include <Poco/Timestamp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>

using Orvik::MQTT::Watson::DataConnection;
using Orvik::MQTT::Watson::GatewayClient;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::TlsCertificates;

namespace
{

const std::string TOKEN = "s3cret-token";

/// Collects delivered commands with the thread that delivered them; throws on the command named "boom".
class RecordingHandler : public Watson_IOTP::CommandCallback
{
public:
    void processCommand(Watson_IOTP::Command& command) override
    {
        if (command.getCommandName() == "boom")
            throw std::runtime_error("handler failure");
        std::lock_guard<std::mutex> lock(_mutex);
        _commands.emplace_back(command, std::this_thread::get_id());
    }

    /// The commands once `count` have arrived (fewer when the time ran out).
    std::vector<std::pair<Watson_IOTP::Command, std::thread::id>> waitFor(std::size_t count)
    {
        Orvik::Test::eventually(
            [&]
            {
                std::lock_guard<std::mutex> lock(_mutex);
                return _commands.size() >= count;
            });
        std::lock_guard<std::mutex> lock(_mutex);
        return _commands;
    }

private:
    std::mutex _mutex;
    std::vector<std::pair<Watson_IOTP::Command, std::thread::id>> _commands;
};

DataConnection connectionTo(const MosquittoBroker& broker, bool secure, const std::string& token = TOKEN)
{
    DataConnection connection;
    connection.setOrgId("myorg");
    connection.setDomain("127.0.0.1:" + std::to_string(broker.port()));
    connection.setDeviceType("gwtype");
    connection.setDeviceId("gw1");
    connection.setAuthToken(token);
    connection.setPort(secure ? 8883 : 1883);
    return connection;
}

class GatewayClientTest : public ::testing::Test
{
protected:
    MosquittoBroker _broker{nullptr, "use-token-auth", TOKEN};
};

}  // namespace

TEST_F(GatewayClientTest, ConnectsAsGatewayWithTokenAndPublishesEventsOnPlatformTopics)
{
    MosquittoProbe probe(_broker, "iot-2/#", "", "use-token-auth", TOKEN);
    GatewayClient client(connectionTo(_broker, false));
    EXPECT_EQ("g:myorg:gwtype:gw1", client.clientId());
    EXPECT_FALSE(client.isConnected());
    ASSERT_TRUE(client.connect());
    EXPECT_TRUE(client.isConnected());
    EXPECT_NE(std::string::npos, _broker.log().find("as g:myorg:gwtype:gw1")) << _broker.log();

    client.publishGatewayEvent("COV", "json", "{\"d\":{}}", 1);
    client.publishDeviceEvent("0005-X", "dev 7", "COV", "json", "{\"d\":{\"a\":\"1\"}}", 1);
    ASSERT_TRUE(probe.waitForMessages(2));
    const auto messages = probe.messages();
    EXPECT_EQ("iot-2/type/gwtype/id/gw1/evt/COV/fmt/json", messages[0].topic);
    EXPECT_EQ("{\"d\":{}}", messages[0].payload);
    EXPECT_EQ("iot-2/type/0005-X/id/dev 7/evt/COV/fmt/json", messages[1].topic);
    EXPECT_EQ("{\"d\":{\"a\":\"1\"}}", messages[1].payload);

    EXPECT_THROW(client.publishDeviceEvent("a/b", "x", "COV", "json", "{}", 1),
                 Poco::InvalidArgumentException);
    // The platform's largest payload goes out; a byte more is refused before it is sent.
    const std::size_t limit = Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES;
    EXPECT_THROW(client.publishGatewayEvent("COV", "json", std::string(limit + 1, 'x'), 1),
                 Poco::InvalidArgumentException);
    client.publishGatewayEvent("COV", "json", std::string(limit, 'x'), 1);
    ASSERT_TRUE(probe.waitForMessages(3));
    EXPECT_EQ(limit, probe.messages()[2].payload.size());
    // A disconnect right behind an event delivers it and does not wait out its 2 s time-out (nor the
    // MQTT library's one-second cycle).
    client.publishGatewayEvent("COV", "json", "{\"d\":{\"last\":1}}", 1);
    const Poco::Timestamp disconnecting;
    client.disconnect();
    EXPECT_LT(disconnecting.elapsed(), 500000);
    EXPECT_TRUE(probe.waitForMessages(4));
    EXPECT_FALSE(client.isConnected());
    EXPECT_NO_THROW(client.disconnect());
}

TEST_F(GatewayClientTest, RefusedTokenOrMissingBrokerIsAFailedConnectNotAnException)
{
    GatewayClient wrongToken(connectionTo(_broker, false, "wrong"));
    EXPECT_FALSE(wrongToken.connect());
    EXPECT_FALSE(wrongToken.isConnected());

    DataConnection nowhere = connectionTo(_broker, false);
    _broker.kill();
    GatewayClient client(nowhere);
    EXPECT_FALSE(client.connect());
    _broker.start();
    EXPECT_TRUE(client.connect());
}

TEST_F(GatewayClientTest, DeliversSubscribedCommandsOnTheClientsThreadAndSurvivesAFailingHandler)
{
    MosquittoProbe cloud(_broker, "unused/#", "", "use-token-auth", TOKEN);
    GatewayClient client(connectionTo(_broker, false));
    RecordingHandler handler;
    ASSERT_TRUE(client.connect());
    client.setCommandHandler(&handler);
    client.subscribeGatewayCommands();
    client.subscribeDeviceCommands("0005-X", "dev7");
    client.subscribeDeviceCommands("0005-X", "dev7");

    cloud.publish("iot-2/type/other/id/dev9/cmd/wp/fmt/json", "not subscribed");
    cloud.publish("iot-2/type/gwtype/id/gw1/cmd/boom/fmt/json", "{}");
    cloud.publish("iot-2/type/gwtype/id/gw1/cmd/bacnet-ws/fmt/json", "{\"d\":{}}");
    cloud.publish("iot-2/type/0005-X/id/dev7/cmd/wp3/fmt/text", std::string("\xff\x00", 2));
    const auto commands = handler.waitFor(2);
    ASSERT_EQ(2u, commands.size());
    const std::vector<std::vector<std::string>> expected = {
        {"gwtype", "gw1", "bacnet-ws", "json", "{\"d\":{}}"},
        {"0005-X", "dev7", "wp3", "text", std::string("\xff\x00", 2)}};
    for (std::size_t i = 0; i < commands.size(); ++i)
    {
        const Watson_IOTP::Command& command = commands[i].first;
        EXPECT_EQ(expected[i], (std::vector<std::string>{command.getDeviceType(), command.getDeviceId(),
                                                         command.getCommandName(), command.getFormat(),
                                                         command.getPayload()}));
        EXPECT_NE(std::this_thread::get_id(), commands[i].second);
    }
}

TEST_F(GatewayClientTest, ReconnectsAfterBrokerRestartAndSendsEventsKeptMeanwhile)
{
    GatewayClient client(connectionTo(_broker, false));
    RecordingHandler handler;
    ASSERT_TRUE(client.connect());
    client.setCommandHandler(&handler);
    client.subscribeGatewayCommands();

    _broker.kill();
    ASSERT_TRUE(Orvik::Test::eventually([&] { return !client.isConnected(); }));
    EXPECT_FALSE(client.connect());
    client.publishGatewayEvent("COV", "json", "{\"kept\":1}", 1);
    EXPECT_NO_THROW(client.disconnect());

    _broker.start();
    MosquittoProbe probe(_broker, "iot-2/#", "", "use-token-auth", TOKEN);
    ASSERT_TRUE(client.connect());
    client.subscribeGatewayCommands();
    ASSERT_TRUE(probe.waitForMessages(1));
    EXPECT_EQ("{\"kept\":1}", probe.messages()[0].payload);

    probe.publish("iot-2/type/gwtype/id/gw1/cmd/wp/fmt/json", "{}");
    const auto commands = handler.waitFor(1);
    ASSERT_EQ(1u, commands.size());
    EXPECT_EQ("wp", commands[0].first.getCommandName());
}

TEST(GatewayClientTlsTest, VerifiesTheBrokerCertificateAgainstTheTrustStore)
{
    TlsCertificates authority;
    TlsCertificates stranger;
    MosquittoBroker broker(&authority);
    MosquittoProbe probe(broker, "iot-2/#", authority.caFile());

    DataConnection connection = connectionTo(broker, true);
    connection.setTrustStore(stranger.caFile());
    GatewayClient refused(connection);
    EXPECT_FALSE(refused.connect());

    DataConnection plain = connectionTo(broker, false);
    GatewayClient plainClient(plain);
    EXPECT_FALSE(plainClient.connect());

    // By name with the given trust store, by address with the system's default store (which OpenSSL takes
    // from SSL_CERT_FILE), as the bridge's secure parameter uses it: the certificate is checked against
    // the host dialled.
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string restore = previous != nullptr ? previous : "";
    setenv("SSL_CERT_FILE", authority.caFile().c_str(), 1);
    for (const auto& [host, trustStore] : std::vector<std::pair<std::string, std::string>>{
             {"localhost", authority.caFile()}, {"127.0.0.1", ""}})
    {
        connection.setDomain(host + ":" + std::to_string(broker.port()));
        connection.setTrustStore(trustStore);
        GatewayClient accepted(connection);
        EXPECT_TRUE(accepted.connect()) << host << "\n" << broker.log();
        accepted.publishGatewayEvent("COV", "json", host, 1);
        accepted.disconnect();
    }
    if (previous != nullptr)
        setenv("SSL_CERT_FILE", restore.c_str(), 1);
    else
        unsetenv("SSL_CERT_FILE");
    ASSERT_TRUE(probe.waitForMessages(2));
    EXPECT_EQ("localhost", probe.messages()[0].payload);
    EXPECT_EQ("127.0.0.1", probe.messages()[1].payload);
}
