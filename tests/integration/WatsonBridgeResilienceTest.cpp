#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "TlsCertificates.h"
#include "WatsonBridgeHarness.h"

#include <Poco/JSON/Parser.h>
#include <Poco/Random.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

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
    return Orvik::Test::eventually([&] { return probe.messagesOn(BOILER_COV).size() >= count; }, 30000);
}

/// Commands that must all be refused: malformed, random, huge, deeply nested, not UTF-8, odd names.
std::vector<std::string> fuzzedPayloads()
{
    std::vector<std::string> payloads = {
        "",
        "{",
        "{\"d\":",
        "null",
        "\"d\"",
        std::string(200000, '['),
        std::string(100000, '{'),
        "{\"d\":{\"Setpoint_present-value\":" + std::string(300, '[') + "1" + std::string(300, ']') + "}}",
        "{\"d\":{\"Set\xffpoint_present-value\":1}}",
        "{\"d\":{\"Setpoint_present-value\":\"\xc3\x28\"}}",
        "{\"d\":{\"\":1}}",
        "{\"d\":{\"_\":1}}",
        "{\"d\":{\"Setpoint__present-value\":1}}",
        "{\"d\":{\"Setpoint\\u0000_present-value\":1}}",
        "{\"d\":{\"Setpoint_present-value\":1e999}}",
        "{\"d\":{\"Setpoint_present-value\":[1,2]}}",
        "{\"d\":{\"Setpoint_present-value\":\"" + std::string(1 << 20, 'x') + "\"}}"};
    Poco::Random random;
    random.seed(4711);
    for (int i = 0; i < 40; ++i)
    {
        std::string noise(8 + random.next(300), ' ');
        for (char& c : noise)
        {
            c = static_cast<char>(random.next(256));
        }
        payloads.push_back(i % 2 == 0 ? noise : "{\"d\":{\"Setpoint_present-value\":" + noise + "}}");
    }
    return payloads;
}

}  // namespace

TEST(WatsonBridgeResilienceTest, FuzzedCommandsGiveErrorLinesAndNoWrite)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "iot-2/#");
    WatsonBridgeHarness harness(broker.port(), false);
    harness.start();
    ASSERT_TRUE(eventsArrive(cloud, 1)) << harness.console();

    const auto payloads = fuzzedPayloads();
    for (const std::string& payload : payloads)
    {
        cloud.publish(BOILER_WP, payload);
    }
    ASSERT_TRUE(harness.waitForConsole("AppWatsonMQTT command error: ", payloads.size(), 60000))
        << harness.countConsole("AppWatsonMQTT command error: ") << " of " << payloads.size();
    EXPECT_EQ("21", harness.presentValue(2001, "analog-value:2"));

    // Still serving: a good command is carried out.
    cloud.publish(BOILER_WP, R"({"d":{"Setpoint_present-value":25}})");
    Orvik::Test::eventually([&] { return harness.presentValue(2001, "analog-value:2") == "25"; });
    EXPECT_EQ("25", harness.presentValue(2001, "analog-value:2"));
    EXPECT_EQ(payloads.size(), harness.countConsole("AppWatsonMQTT command error: "));
}

TEST(WatsonBridgeResilienceTest, ReconnectsAfterBrokerRestartAndResubscribes)
{
    MosquittoBroker broker;
    WatsonBridgeHarness harness(broker.port(), false);
    harness.start();
    ASSERT_TRUE(harness.waitForConsole("B) Watson connected")) << harness.console();
    {
        MosquittoProbe before(broker, "iot-2/#");
        ASSERT_TRUE(eventsArrive(before, 2));
    }

    broker.kill();
    ASSERT_TRUE(harness.waitForConsole("Watson no connection", 2)) << harness.console();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    broker.start();
    MosquittoProbe after(broker, "iot-2/#");
    ASSERT_TRUE(harness.waitForConsole("B) Watson connected", 2)) << harness.console();
    ASSERT_TRUE(eventsArrive(after, 2)) << harness.console();

    after.publish(BOILER_WP, R"({"d":{"Setpoint_present-value":26}})");
    Orvik::Test::eventually([&] { return harness.presentValue(2001, "analog-value:2") == "26"; });
    EXPECT_EQ("26", harness.presentValue(2001, "analog-value:2")) << harness.console();
    EXPECT_EQ(0u, harness.countConsole("Restarting APP")) << harness.console();
}

TEST(WatsonBridgeResilienceTest, StopWhileDisconnectedEndsTheAppWithoutReconnecting)
{
    MosquittoBroker broker;
    WatsonBridgeHarness harness(broker.port(), false);
    harness.start();
    ASSERT_TRUE(harness.waitForConsole("B) Watson connected")) << harness.console();
    broker.kill();
    ASSERT_TRUE(harness.waitForConsole("Watson no connection", 2)) << harness.console();

    ASSERT_TRUE(harness.stop()) << harness.console();
    EXPECT_EQ(1u, harness.countConsole("A) Watson connected"));
    EXPECT_EQ(0u, harness.countConsole("BACnet to Watson IoT Exception ignored")) << harness.console();
    EXPECT_EQ(0u, harness.countConsole("Restarting APP")) << harness.console();
    EXPECT_EQ(0u, harness.site().countSubscriptions(Orvik::BACnet::Client::DataObjectKey(
                      2001, Orvik::BACnet::DataType::ObjectIdentifier(0, 1))))
        << harness.console();
}

TEST(WatsonBridgeResilienceTest, TlsConnectsOnlyWithTheBrokersCertificateAuthority)
{
    TlsCertificates authority;
    TlsCertificates stranger;
    MosquittoBroker broker(&authority);
    MosquittoProbe cloud(broker, "iot-2/#", authority.caFile());
    // The bridge trusts the system's default store, which OpenSSL takes from SSL_CERT_FILE.
    const char* previous = std::getenv("SSL_CERT_FILE");
    const std::string restore = previous != nullptr ? previous : "";
    {
        setenv("SSL_CERT_FILE", stranger.caFile().c_str(), 1);
        WatsonBridgeHarness refused(broker.port(), true);
        refused.start();
        ASSERT_TRUE(refused.waitForConsole("Watson no connection", 2, 40000)) << refused.console();
        EXPECT_EQ(0u, refused.countConsole("A) Watson connected"));
        EXPECT_TRUE(refused.stop());
    }
    EXPECT_TRUE(cloud.messages().empty());
    {
        setenv("SSL_CERT_FILE", authority.caFile().c_str(), 1);
        WatsonBridgeHarness accepted(broker.port(), true);
        accepted.start();
        ASSERT_TRUE(accepted.waitForConsole("B) Watson connected")) << accepted.console();
        EXPECT_TRUE(eventsArrive(cloud, 1));
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
