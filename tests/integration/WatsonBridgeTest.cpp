#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

#include "BACnetClient/InteropNetwork.h"
#include "BACnetDeviceSimulator.h"
#include "Eventually.h"
#include "HttpServer.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "WatsonBridgeHarness.h"

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <tuple>

using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::BACnetWsHandler;
using Orvik::Test::eventually;
using Orvik::Test::HttpServer;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::WatsonBridgeHarness;

namespace
{

const std::string BOILER_COV = WatsonBridgeHarness::_BOILER_TOPIC + "/evt/COV/fmt/json";
const std::string GATEWAY_COV = WatsonBridgeHarness::_GATEWAY_TOPIC + "/evt/COV/fmt/json";
const std::string COMMAND_ERROR = "AppWatsonMQTT command error: ";

Poco::JSON::Object::Ptr dataOf(const std::string& payload)
{
    Poco::JSON::Parser parser;
    return parser.parse(payload).extract<Poco::JSON::Object::Ptr>()->getObject("d");
}

/// The bridge running against a plain broker, with a cloud-side probe that sees every event.
class WatsonBridgeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _harness.start();
        // Connected: a device's commands are subscribed before its first value is published.
        ASSERT_TRUE(waitForEventOn(BOILER_COV)) << _harness.console();
        ASSERT_TRUE(waitForEventOn(GATEWAY_COV)) << _harness.console();
    }

    /// Publishes a command as the cloud does.
    void command(const std::string& topic, const std::string& payload) { _cloud.publish(topic, payload); }

    bool waitForEventOn(const std::string& topic, std::size_t count = 1)
    {
        return eventually([&] { return _cloud.messagesOn(topic).size() >= count; });
    }

    MosquittoBroker _broker;
    MosquittoProbe _cloud{_broker, "iot-2/#"};
    WatsonBridgeHarness _harness{_broker.port(), false};
};

}  // namespace

TEST(WatsonBridgeOverBACnetIP, PublishesCovOfTheDevicesAndWritesCommandsThroughThem)
{
    if (!Orvik::Test::BACnetDeviceSimulator::missing().empty())
        GTEST_SKIP() << Orvik::Test::BACnetDeviceSimulator::missing();
    // The harness's devices served by the device simulator, reached over BACnet/IP.
    Orvik::Test::BACnetDeviceSimulator simulator(WatsonBridgeHarness::siteText(),
                                                 Orvik::Test::BACnetDeviceSimulator::Site::TEXT);
    MosquittoBroker broker;
    MosquittoProbe cloud{broker, "iot-2/#"};
    WatsonBridgeHarness harness{broker.port(), false, "", Orvik::Test::InteropNetwork::make(simulator)};
    harness.start();
    ASSERT_TRUE(eventually([&] { return cloud.messagesOn(BOILER_COV).size() >= 2; })) << harness.console();
    ASSERT_TRUE(eventually([&] { return !cloud.messagesOn(GATEWAY_COV).empty(); })) << harness.console();
    EXPECT_EQ("5", dataOf(cloud.messagesOn(GATEWAY_COV).front().payload)
                       ->getValue<std::string>("GwSetpoint_present-value"));

    cloud.publish(WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/wp3/fmt/json",
                  R"({"d":{"Setpoint_present-value":"30.5"}})");
    // "wp3" writes with priority 4, as on the simulated site.
    EXPECT_TRUE(simulator.waitForEvents("write 2001 2:2 85 priority=4 value=30.5")) << harness.console();
    EXPECT_TRUE(harness.stop());
}

TEST_F(WatsonBridgeTest, PublishesCovOfGatewayAndAttachedDevicesAsValidJson)
{
    ASSERT_TRUE(waitForEventOn(GATEWAY_COV)) << _harness.console();
    ASSERT_TRUE(waitForEventOn(BOILER_COV, 3)) << _harness.console();

    const auto gateway = dataOf(_cloud.messagesOn(GATEWAY_COV).front().payload);
    EXPECT_EQ("5", gateway->getValue<std::string>("GwSetpoint_present-value"));
    EXPECT_TRUE(gateway->has("GwSetpoint_status-flags"));

    std::set<std::string> boilerNames;
    for (const auto& message : _cloud.messagesOn(BOILER_COV))
    {
        const auto data = dataOf(message.payload);
        for (const auto& member : *data)
        {
            boilerNames.insert(member.first);
        }
    }
    EXPECT_TRUE(boilerNames.count("Hall_present-value"));
    EXPECT_TRUE(boilerNames.count("Setpoint_present-value"));
    EXPECT_TRUE(boilerNames.count("Pump_present-value"));
    for (const auto& message : _cloud.messages())
    {
        EXPECT_TRUE(message.topic == GATEWAY_COV || message.topic == BOILER_COV) << message.topic;
    }
}

TEST_F(WatsonBridgeTest, WriteCommandsReachTheDevicesWithTheirPriority)
{
    command(WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/wp3/fmt/json",
            R"({"d":{"Setpoint_present-value":"30.5"}})");
    ASSERT_TRUE(eventually([&] { return _harness.presentValue(2001, "analog-value:2") == "30.5"; }))
        << _harness.console();
    // Priority 16 ranks below the 4 just written: the value stays.
    command(WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/WP/fmt/json",
            R"({"d":{"Setpoint_present-value":10, "Pump_present-value":"1"}})");
    ASSERT_TRUE(eventually([&] { return _harness.presentValue(2001, "binary-value:3") == "1"; }))
        << _harness.console();
    EXPECT_EQ("30.5", _harness.presentValue(2001, "analog-value:2"));

    command(WatsonBridgeHarness::_GATEWAY_TOPIC + "/cmd/wpf/fmt/json",
            R"({"d":{" GwSetpoint _ present-value ":7}})");
    ASSERT_TRUE(eventually([&] { return _harness.presentValue(1000, "analog-value:1") == "7"; }))
        << _harness.console();
    // The written value comes back to the cloud through its COV subscription.
    EXPECT_TRUE(eventually(
        [&]
        {
            for (const auto& message : _cloud.messagesOn(GATEWAY_COV))
            {
                if (message.payload.find("\"GwSetpoint_present-value\":\"7\"") != std::string::npos)
                {
                    return true;
                }
            }
            return false;
        }));
    EXPECT_EQ(0u, _harness.countConsole(COMMAND_ERROR)) << _harness.console();
}

TEST_F(WatsonBridgeTest, RefusedCommandsPrintTheirReasonAndWriteNothing)
{
    // One of each kind through the broker, with the largest payloads; every check has its case in
    // WatsonCommandParserTest.
    const std::string setpoint = R"({"d":{"Setpoint_present-value":1}})";
    const std::vector<std::tuple<std::string, std::string, std::string>> refused = {
        {"wp5", setpoint, "Unexpected Write Property Priority value"},
        {"wpxy", setpoint, "Invalid Command type: wpxy"},
        {"wp", R"({"d":{"Nothing_present-value":1}})",
         "Unknown object reference: \"0005-X\tBoiler\tNothing\""},
        {"wp", R"({"d":{"Setpoint_present-value":"warm"}})",
         "Value does not fit the datatype of present-value: \"warm\""},
        {"wp", std::string(200000, '['), ""},
        {"wp", R"({"d":{"Setpoint_present-value":")" + std::string(1 << 20, 'x') + "\"}}",
         "Value does not fit the datatype of present-value"},
        {"bacnet-ws", R"({"d":{"client-id":"c","ws":{"method":"GET /x HTTP/1.1\r\nX:","path":"/"}}})",
         "Invalid BACnet/WS method: \"GET \\/X HTTP\\/1.1\\r\\nX:\""},
    };
    const std::string boiler = WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/";
    for (const auto& [name, payload, expected] : refused)
    {
        command(boiler + name + "/fmt/json", payload);
    }
    // Commands in another format are not for the bridge.
    command(boiler + "wp/fmt/JSON", R"({"d":{"Setpoint_present-value":2}})");
    ASSERT_TRUE(_harness.waitForConsole(COMMAND_ERROR, refused.size())) << _harness.console();

    const std::string console = _harness.console();
    for (const auto& [name, payload, expected] : refused)
    {
        EXPECT_NE(std::string::npos, console.find(COMMAND_ERROR + expected)) << expected << "\n" << console;
    }
    EXPECT_EQ("21", _harness.presentValue(2001, "analog-value:2"));

    // Still serving: a good command is carried out.
    command(boiler + "wp/fmt/json", R"({"d":{"Setpoint_present-value":25}})");
    EXPECT_TRUE(eventually([&] { return _harness.presentValue(2001, "analog-value:2") == "25"; }))
        << _harness.console();
    EXPECT_EQ(refused.size(), _harness.countConsole(COMMAND_ERROR)) << _harness.console();
}

TEST_F(WatsonBridgeTest, BacnetWsRequestsAreForwardedAndAnsweredAsGatewayEvents)
{
    HttpServer webService;
    BACnetWsHandler::setServiceAddress("127.0.0.1", webService.port());
    const std::string request = WatsonBridgeHarness::_BOILER_TOPIC + "/cmd/bacnet-ws/fmt/json";
    const std::string reply = WatsonBridgeHarness::_GATEWAY_TOPIC + "/evt/bacnet-ws-";

    webService.setAnswer(200, R"({"value":"21.5"})");
    command(request,
            R"({"d":{"client-id":"c1","ws":{"method":"put","path":"/bws/x?alt=json","payload":{"a":[1]}}}})");
    ASSERT_TRUE(waitForEventOn(reply + "c1/fmt/json")) << _harness.console();
    EXPECT_EQ(R"({"d":{"ws":{"value":"21.5"}}})", _cloud.messagesOn(reply + "c1/fmt/json")[0].payload);
    ASSERT_TRUE(webService.waitForRequests(1));
    EXPECT_EQ("PUT", webService.requests()[0].method);
    EXPECT_EQ("/bws/x?alt=json", webService.requests()[0].uri);
    EXPECT_EQ(1u, dataOf("{\"d\":" + webService.requests()[0].body + "}")->getArray("a")->size());

    webService.setAnswer(200, "say \"OK\"");
    command(request, R"({"d":{"client-id":42,"ws":{"method":"GET","path":"/bws/y"}}})");
    ASSERT_TRUE(waitForEventOn(reply + "42/fmt/json")) << _harness.console();
    EXPECT_EQ("say \"OK\"",
              dataOf(_cloud.messagesOn(reply + "42/fmt/json")[0].payload)->getValue<std::string>("ws"));

    webService.setAnswer(204, "");
    command(request, R"({"d":{"client-id":"c3","ws":{"method":"GET","path":"/bws/z","payload":""}}})");
    ASSERT_TRUE(waitForEventOn(reply + "c3/fmt/json")) << _harness.console();
    EXPECT_EQ(R"({"d":{"ws":""}})", _cloud.messagesOn(reply + "c3/fmt/json")[0].payload);

    // An answer larger than the platform accepts becomes an error reply.
    webService.setAnswer(200, "\"" + std::string(140000, 'a') + "\"");
    command(request, R"({"d":{"client-id":"c5","ws":{"method":"GET","path":"/bws/big"}}})");
    ASSERT_TRUE(waitForEventOn(reply + "c5/fmt/json")) << _harness.console();
    EXPECT_TRUE(dataOf(_cloud.messagesOn(reply + "c5/fmt/json")[0].payload)->has("error"));

    webService.setDrop(true);
    command(request, R"({"d":{"client-id":"c4","ws":{"method":"GET","path":"/bws/z"}}})");
    ASSERT_TRUE(waitForEventOn(reply + "c4/fmt/json")) << _harness.console();
    EXPECT_TRUE(dataOf(_cloud.messagesOn(reply + "c4/fmt/json")[0].payload)->has("error"));
    BACnetWsHandler::setServiceAddress("localhost", 80);
}
