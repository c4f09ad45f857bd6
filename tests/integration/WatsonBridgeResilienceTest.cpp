#include "Eventually.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "TlsCertificates.h"
#include "WatsonBridgeHarness.h"

#include <Poco/JSON/Parser.h>
#include <Poco/Net/ServerSocket.h>
#include <gtest/gtest.h>

#include <cstdlib>

using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::TlsCertificates;
using Orvik::Test::WatsonBridgeHarness;

namespace
{

const std::string BOILER_COV = WatsonBridgeHarness::_BOILER_TOPIC + "/evt/COV/fmt/json";
const std::string BOILER_WP = WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/wp/fmt/json";

bool eventsArrive(const MosquittoProbe& probe, std::size_t count)
{
    return Orvik::Test::eventually([&] { return probe.messagesOn(BOILER_COV).size() >= count; });
}

/// While the broker is down: waits until the bridge dials the broker's port again, that is until it has
/// noticed the loss and reconnects. False when it did not within 30 s.
bool redials(const MosquittoBroker& broker)
{
    Poco::Net::ServerSocket listener;
    listener.bind(Poco::Net::SocketAddress("127.0.0.1", broker.port()), true);
    listener.listen();
    return listener.poll(Poco::Timespan(30, 0), Poco::Net::Socket::SELECT_READ);
}

}  // namespace

TEST(WatsonBridgeResilienceTest, NamesAndValuesTheBrokerOrPlatformRefusesAreLeftOutAndTheRestIsPublished)
{
    // Device names (JSON) that cannot be in a topic: too long for one, line breaks, a wildcard, NUL, a
    // C1 control character, a non-character. Device 3100 has an object whose name makes every event
    // larger than the platform accepts, and an ordinary one.
    const std::vector<std::string> names = {
        std::string(70000, 'n'), "A\\r\\nB", "a+b", "x\\u0000y", "C1\\u0085", "\\uffff"};
    std::string devices;
    std::string published =
        "[device:1000/analog-value:1, device:2001/analog-input:1, "
        "device:3100/analog-value:1, device:3100/analog-value:2";
    for (std::size_t i = 0; i < names.size(); ++i)
    {
        const std::string instance = std::to_string(3001 + i);
        devices += "{\"instance\": " + instance + ", \"name\": \"" + names[i] +
                   "\", \"objects\": [{\"type\": \"analog-value\", \"instance\": 1, \"name\": \"v\"}]},";
        published += ", device:" + instance + "/analog-value:1";
    }
    devices += R"({"instance": 3100, "name": "Big", "modelName": "M", "objects": [
        {"type": "analog-value", "instance": 1, "name": ")" +
               std::string(140000, 'p') + R"("}, {"type": "analog-value", "instance": 2, "name": "ok"}]})";
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "iot-2/#");
    WatsonBridgeHarness harness(broker.port(), false, devices);
    harness.setParameter(10, published + "]");
    harness.start();

    for (std::size_t i = 0; i < names.size(); ++i)
    {
        EXPECT_TRUE(
            harness.waitForConsole("left out analog-value:1 of device " + std::to_string(3001 + i) + ": "))
            << i;
    }
    EXPECT_TRUE(
        harness.waitForConsole("of analog-value:1 of device 3100: the event would be larger than the "
                               "platform's limit of 131072 bytes"));
    const std::string big = "iot-2/type/0000-M/id/Big/evt/COV/fmt/json";
    ASSERT_TRUE(Orvik::Test::eventually([&] { return !cloud.messagesOn(big).empty(); })) << harness.console();
    EXPECT_NE(std::string::npos, cloud.messagesOn(big)[0].payload.find("\"ok_present-value\""));
    ASSERT_TRUE(eventsArrive(cloud, 5)) << harness.console();
    // The broker never dropped the bridge, and the console names the port actually dialled.
    EXPECT_EQ(1u, harness.countConsole("A) Watson connected")) << harness.console();
    EXPECT_EQ(1u, harness.countConsole("Watson no connection")) << harness.console();
    EXPECT_EQ(1u, harness.countConsole("Port used: " + std::to_string(broker.port()) + "\n"));
}

TEST(WatsonBridgeResilienceTest, ReconnectsAfterBrokerRestartAndStopsWhileDisconnectedWithoutReconnecting)
{
    MosquittoBroker broker;
    WatsonBridgeHarness harness(broker.port(), false);
    harness.start();
    {
        MosquittoProbe before(broker, "iot-2/#");
        ASSERT_TRUE(eventsArrive(before, 2)) << harness.console();
    }

    broker.kill();
    ASSERT_TRUE(redials(broker)) << harness.console();
    broker.start();
    MosquittoProbe after(broker, "iot-2/#");
    ASSERT_TRUE(eventsArrive(after, 2)) << harness.console();
    // Events kept while disconnected may arrive before the bridge has subscribed to its commands again,
    // and a command published before that reaches nobody: publish until the write is carried out.
    EXPECT_TRUE(Orvik::Test::eventually(
        [&]
        {
            after.publish(BOILER_WP, R"({"d":{"Setpoint_present-value":26}})");
            return harness.presentValue(2001, "analog-value:2") == "26";
        }))
        << harness.console();

    broker.kill();
    ASSERT_TRUE(redials(broker)) << harness.console();
    ASSERT_TRUE(harness.stop()) << harness.console();
    EXPECT_EQ(2u, harness.countConsole("A) Watson connected")) << harness.console();
    EXPECT_EQ(0u, harness.countConsole("BACnet to Watson IoT Exception ignored")) << harness.console();
    EXPECT_EQ(0u, harness.countConsole("Restarting APP")) << harness.console();
    EXPECT_EQ(0u, harness.site().countSubscriptions(Orvik::BACnet::Client::DataObjectKey(
                      2001, Orvik::BACnet::DataType::ObjectIdentifier(0, 1))))
        << harness.console();
}

TEST(WatsonBridgeResilienceTest, SecureParameterConnectsOverTlsTrustingTheSystemStore)
{
    // Which certificates a TLS client accepts is GatewayClientTlsTest's; here the bridge's parameter.
    TlsCertificates authority;
    MosquittoBroker broker(&authority);
    MosquittoProbe cloud(broker, "iot-2/#", authority.caFile());
    // The bridge trusts the system's default store, which OpenSSL takes from SSL_CERT_FILE.
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string restore = previous != nullptr ? previous : "";
    setenv("SSL_CERT_FILE", authority.caFile().c_str(), 1);
    {
        WatsonBridgeHarness accepted(broker.port(), true);
        accepted.start();
        EXPECT_TRUE(eventsArrive(cloud, 1)) << accepted.console();
    }
    if (previous != nullptr)
    {
        setenv("SSL_CERT_FILE", restore.c_str(), 1);
    }
    else
    {
        unsetenv("SSL_CERT_FILE");
    }
}
