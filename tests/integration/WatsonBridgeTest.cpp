#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

#include "BridgeRig.h"
#include "Eventually.h"
#include "FreePort.h"
#include "HttpServer.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <set>
#include <thread>
#include <tuple>

using namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT;
using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::DataType::ObjectIdentifier;
using Orvik::Test::eventually;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;

namespace
{

const char* const SITE = R"({
  "tickMs": 50,
  "devices": [
    {"instance": 1000, "name": "Gateway", "vendorIdentifier": 64701, "modelName": "GW",
     "objects": [{"type": "analog-value", "instance": 1, "name": "GwSetpoint", "presentValue": 5}]},
    {"instance": 2001, "name": "Boiler", "vendorIdentifier": 5, "modelName": "X",
     "objects": [
       {"type": "analog-input", "instance": 1, "name": "Hall", "presentValue": 20, "covIncrement": 0.01,
        "drift": {"amplitude": 5, "periodSeconds": 4}},
       {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21},
       {"type": "binary-value", "instance": 3, "name": "Pump", "presentValue": "inactive"},
       {"type": "trend-log", "instance": 4, "name": "HallLog", "logs": "analog-input:1",
        "log": {"intervalSeconds": 1, "count": 10, "live": true}}]}
  ]
})";
const std::string GATEWAY_TOPIC = "iot-2/type/gwtype/id/gw1";
const std::string BOILER_TOPIC = "iot-2/type/0005-X/id/Boiler";
const std::string BOILER_COV = BOILER_TOPIC + "/evt/COV/fmt/json";
const std::string GATEWAY_COV = GATEWAY_TOPIC + "/evt/COV/fmt/json";
const std::string BOILER_CMD = BOILER_TOPIC + "/cmd/";
const std::string COMMAND_ERROR = "AppWatsonMQTT command error: ";
/// The broker's log line of each connection of the bridge.
const std::string BRIDGE_CONNECTED = " as g:myorg:gwtype:gw1 ";
const DataObjectKey HALL(2001, ObjectIdentifier(0, 1));

Poco::JSON::Object::Ptr dataOf(const std::string& payload)
{
    Poco::JSON::Parser parser;
    return parser.parse(payload).extract<Poco::JSON::Object::Ptr>()->getObject("d");
}

using Messages = std::vector<MosquittoProbe::Message>;

bool waitForEvents(const MosquittoProbe& probe, const std::string& topic, std::size_t count = 1)
{
    return probe.waitForMatches([&](const auto& message) { return message.topic == topic; }, count);
}

/// Boiler events that carry `member`.
std::size_t eventsWith(const Messages& messages, const std::string& member)
{
    std::size_t count = 0;
    for (const auto& message : messages)
        count += message.topic == BOILER_COV && dataOf(message.payload)->has(member) ? 1 : 0;
    return count;
}

/// Waits until at least `count` boiler events carry `member`.
bool waitForEventsWith(const MosquittoProbe& probe, const std::string& member, std::size_t count)
{
    return probe.waitUntil([&](const Messages& messages) { return eventsWith(messages, member) >= count; });
}

/// The cloud bridge (app 502) on a BridgeRig. The site (SITE) has the gateway's own device 1000 ("Gateway",
/// with the commandable analog value "GwSetpoint") and device 2001 ("Boiler", vendor 5, model "X", with
/// the drifting analog input "Hall", the commandable analog value "Setpoint", the binary value "Pump" and
/// the live trend log "HallLog" of "Hall"). By default the four points are published and the three
/// values accept commands.
class WatsonBridgeHarness : public Orvik::Test::BridgeRig
{
public:
    /// Parameters of a broker on 127.0.0.1:`brokerPort`; `parameters` (by number) add to or replace
    /// them. `moreDevices` (JSON device objects separated by commas) joins the site's devices.
    explicit WatsonBridgeHarness(Poco::UInt16 brokerPort, const Parameters& parameters = {},
                                 const std::string& moreDevices = "")
        : BridgeRig(
              std::make_unique<Orvik::Test::TestDatabase>(), 502,
              [](Poco::Int32 id, const Timings& timings) { return new AppWatsonMQTT(id, timings); },
              withDefaults(brokerPort, parameters), siteWith(moreDevices))
    {
    }

    /// Waits until the console holds `count` lines containing `text`; false when the time ran out.
    bool waitForConsole(const std::string& text, std::size_t count = 1) const
    {
        return eventually([&] { return countConsole(text) >= count; });
    }
    std::size_t countConsole(const std::string& text) const { return Orvik::Test::countOf(out(), text); }

private:
    static std::string siteWith(const std::string& moreDevices)
    {
        std::string site = SITE;
        return moreDevices.empty() ? site : site.insert(site.rfind(']'), "," + moreDevices);
    }
    static Parameters withDefaults(Poco::UInt16 brokerPort, Parameters parameters)
    {
        const Parameters defaults{
            {1, "myorg"},
            {2, "127.0.0.1:" + std::to_string(brokerPort)},
            {3, "gwtype"},
            {4, "gw1"},
            {6, "token-1"},
            {7, "false"},
            {10,
             "[device:1000/analog-value:1, device:2001/analog-input:1, device:2001/analog-value:2, "
             "device:2001/binary-value:3]"},
            {11, "[device:1000/analog-value:1, device:2001/analog-value:2, device:2001/binary-value:3]"}};
        parameters.insert(defaults.begin(), defaults.end());  // keeps the given ones
        return parameters;
    }
};

/// A plain broker with a cloud-side probe that sees every event; the tests make their bridge.
class WatsonBridgeResilienceTest : public ::testing::Test
{
protected:
    MosquittoBroker _broker;
    MosquittoProbe _cloud{_broker, "iot-2/#"};
};
using WatsonBridgeScheduleTest = WatsonBridgeResilienceTest;

/// The bridge with the harness's defaults, connected: a device's commands are subscribed before its
/// first value is published.
class WatsonBridgeTest : public WatsonBridgeResilienceTest
{
protected:
    void SetUp() override
    {
        _harness.start();
        ASSERT_TRUE(waitForEvents(_cloud, BOILER_COV)) << _harness.out();
        ASSERT_TRUE(waitForEvents(_cloud, GATEWAY_COV)) << _harness.out();
    }

    WatsonBridgeHarness _harness{_broker.port()};
};

}  // namespace

TEST_F(WatsonBridgeTest, PublishesCovOfGatewayAndAttachedDevicesAsValidJson)
{
    const auto gateway = dataOf(_cloud.messagesOn(GATEWAY_COV).front().payload);
    EXPECT_EQ("5", gateway->getValue<std::string>("GwSetpoint_present-value"));
    EXPECT_TRUE(gateway->has("GwSetpoint_status-flags"));

    // The drifting hall value may fill the first events on its own; each point comes in time.
    for (const char* name : {"Hall_present-value", "Setpoint_present-value", "Pump_present-value"})
        EXPECT_TRUE(waitForEventsWith(_cloud, name, 1)) << name << "\n" << _harness.out();
    for (const auto& message : _cloud.messages())
        EXPECT_TRUE(message.topic == GATEWAY_COV || message.topic == BOILER_COV) << message.topic;
}

TEST_F(WatsonBridgeTest, WriteCommandsReachTheDevicesWithTheirPriority)
{
    const auto becomes = [&](Poco::UInt32 device, const std::string& object, const std::string& value)
    { return eventually([&] { return _harness.presentValue(device, object) == value; }); };
    _cloud.publish(BOILER_CMD + "wp3/fmt/json", R"({"d":{"Setpoint_present-value":"30.5"}})");
    ASSERT_TRUE(becomes(2001, "analog-value:2", "30.5")) << _harness.out();
    // Priority 16 ranks below the 4 just written: the value stays.
    _cloud.publish(BOILER_CMD + "WP/fmt/json",
                   R"({"d":{"Setpoint_present-value":10, "Pump_present-value":"1"}})");
    ASSERT_TRUE(becomes(2001, "binary-value:3", "1")) << _harness.out();
    EXPECT_EQ("30.5", _harness.presentValue(2001, "analog-value:2"));

    _cloud.publish(GATEWAY_TOPIC + "/cmd/wpf/fmt/json", R"({"d":{" GwSetpoint _ present-value ":7}})");
    ASSERT_TRUE(becomes(1000, "analog-value:1", "7")) << _harness.out();
    // The written value comes back to the cloud through its COV subscription.
    EXPECT_TRUE(_cloud.waitForMatches(
        [](const auto& message)
        {
            return message.topic == GATEWAY_COV &&
                   message.payload.find("\"GwSetpoint_present-value\":\"7\"") != std::string::npos;
        }));
    EXPECT_EQ(0u, _harness.countConsole(COMMAND_ERROR)) << _harness.out();
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
    for (const auto& [name, payload, expected] : refused)
        _cloud.publish(BOILER_CMD + name + "/fmt/json", payload);
    // Commands in another format are not for the bridge.
    _cloud.publish(BOILER_CMD + "wp/fmt/JSON", R"({"d":{"Setpoint_present-value":2}})");
    ASSERT_TRUE(_harness.waitForConsole(COMMAND_ERROR, refused.size())) << _harness.out();

    const std::string console = _harness.out();
    for (const auto& [name, payload, expected] : refused)
        EXPECT_NE(std::string::npos, console.find(COMMAND_ERROR + expected)) << expected << "\n" << console;
    EXPECT_EQ("21", _harness.presentValue(2001, "analog-value:2"));

    // Still serving: a good command is carried out.
    _cloud.publish(BOILER_CMD + "wp/fmt/json", R"({"d":{"Setpoint_present-value":25}})");
    EXPECT_TRUE(eventually([&] { return _harness.presentValue(2001, "analog-value:2") == "25"; }))
        << _harness.out();
    EXPECT_EQ(refused.size(), _harness.countConsole(COMMAND_ERROR)) << _harness.out();
}

TEST_F(WatsonBridgeTest, BacnetWsRequestsAreForwardedAndAnsweredAsGatewayEvents)
{
    Orvik::Test::HttpServer webService;
    BACnetWsHandler::setServiceAddress("127.0.0.1", webService.port());
    // Sends a request with the client id `id` (JSON) and hands back the answer event's payload.
    const auto exchange = [&](const std::string& id, const std::string& ws)
    {
        const std::string client = id.front() == '"' ? id.substr(1, id.size() - 2) : id;
        const std::string reply = GATEWAY_TOPIC + "/evt/bacnet-ws-" + client + "/fmt/json";
        _cloud.publish(BOILER_CMD + "bacnet-ws/fmt/json",
                       R"({"d":{"client-id":)" + id + R"(,"ws":)" + ws + "}}");
        EXPECT_TRUE(waitForEvents(_cloud, reply)) << _harness.out();
        const auto messages = _cloud.messagesOn(reply);
        return messages.empty() ? std::string() : messages[0].payload;
    };

    webService.setAnswer(200, R"({"value":"21.5"})");
    EXPECT_EQ(R"({"d":{"ws":{"value":"21.5"}}})",
              exchange(R"("c1")", R"({"method":"put","path":"/bws/x?alt=json","payload":{"a":[1]}})"));
    ASSERT_TRUE(webService.waitForRequests(1));
    const auto request = webService.requests()[0];
    EXPECT_EQ("PUT", request.method);
    EXPECT_EQ("/bws/x?alt=json", request.uri);
    EXPECT_EQ(1u, dataOf("{\"d\":" + request.body + "}")->getArray("a")->size());
    EXPECT_EQ(std::to_string(request.body.size()), request.contentLength);

    // Answers that are no JSON object are embedded as text.
    webService.setAnswer(200, "say \"OK\"");
    EXPECT_EQ("say \"OK\"",
              dataOf(exchange("42", R"({"method":"GET","path":"/bws/y"})"))->getValue<std::string>("ws"));
    webService.setAnswer(404, "Not Found");
    EXPECT_EQ("Not Found",
              dataOf(exchange(R"("c2")", R"({"method":"GET","path":"/x"})"))->getValue<std::string>("ws"));
    webService.setAnswer(204, "");
    EXPECT_EQ(R"({"d":{"ws":""}})", exchange(R"("c3")", R"({"method":"GET","path":"/bws/z","payload":""})"));
    // An answer larger than the platform accepts becomes an error reply, as does a broken exchange.
    webService.setAnswer(200, "\"" + std::string(140000, 'a') + "\"");
    EXPECT_TRUE(dataOf(exchange(R"("c5")", R"({"method":"GET","path":"/bws/big"})"))->has("error"));
    webService.setDrop(true);
    EXPECT_TRUE(dataOf(exchange(R"("c4")", R"({"method":"GET","path":"/bws/z"})"))->has("error"));
    BACnetWsHandler::setServiceAddress("127.0.0.1", Orvik::Test::freeLoopbackPort());
    const auto refused = dataOf(exchange(R"("c6")", R"({"method":"GET","path":"/bws"})"));
    EXPECT_NE(std::string::npos, refused->optValue<std::string>("error", "").find("refused"));
    BACnetWsHandler::setServiceAddress("localhost", 80);
}

TEST_F(WatsonBridgeResilienceTest, NamesAndValuesTheBrokerOrPlatformRefusesAreLeftOutAndTheRestIsPublished)
{
    // Device names (JSON) that cannot be in a topic: too long for one, line breaks, a wildcard, NUL, a
    // C1 control character, a non-character. Device 3100 has an object whose name makes every event
    // larger than the platform accepts, and an ordinary one.
    const std::vector<std::string> names = {
        std::string(70000, 'n'), "A\\r\\nB", "a+b", "x\\u0000y", "C1\\u0085", "\\uffff"};
    std::string devices;
    std::string published =
        "[device:1000/analog-value:1, device:2001/analog-input:1, device:3100/analog-value:1, "
        "device:3100/analog-value:2";
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
    WatsonBridgeHarness harness(_broker.port(), {{10, published + "]"}}, devices);
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
    ASSERT_TRUE(waitForEvents(_cloud, big)) << harness.out();
    EXPECT_NE(std::string::npos, _cloud.messagesOn(big)[0].payload.find("\"ok_present-value\""));
    ASSERT_TRUE(waitForEvents(_cloud, BOILER_COV, 5)) << harness.out();
    // The broker never dropped the bridge, and the console names the port actually dialled.
    EXPECT_EQ(1u, Orvik::Test::countOf(_broker.log(), BRIDGE_CONNECTED)) << _broker.log();
    EXPECT_EQ(1u, harness.countConsole("Watson no connection")) << harness.out();
    EXPECT_EQ(1u, harness.countConsole("Port used: " + std::to_string(_broker.port()) + "\n"));
}

TEST_F(WatsonBridgeResilienceTest, ReconnectsAfterBrokerRestartAndStopsWhileDisconnectedWithoutReconnecting)
{
    WatsonBridgeHarness harness(_broker.port());
    harness.start();
    ASSERT_TRUE(waitForEvents(_cloud, BOILER_COV, 2)) << harness.out();

    _broker.kill();
    ASSERT_TRUE(_broker.awaitRedial()) << harness.out();
    _broker.start();
    MosquittoProbe after(_broker, "iot-2/#");
    ASSERT_TRUE(waitForEvents(after, BOILER_COV, 2)) << harness.out();
    // Events kept while disconnected may arrive before the bridge has subscribed to its commands again,
    // and a command published before that reaches nobody: publish until the write is carried out.
    EXPECT_TRUE(eventually(
        [&]
        {
            after.publish(BOILER_CMD + "wp/fmt/json", R"({"d":{"Setpoint_present-value":26}})");
            return harness.presentValue(2001, "analog-value:2") == "26";
        }))
        << harness.out();

    _broker.kill();
    ASSERT_TRUE(_broker.awaitRedial()) << harness.out();
    ASSERT_TRUE(harness.stopManager()) << harness.out();
    EXPECT_EQ(2u, Orvik::Test::countOf(_broker.log(), BRIDGE_CONNECTED)) << _broker.log();
    EXPECT_EQ(0u, harness.countConsole("BACnet to Watson IoT Exception ignored")) << harness.out();
    EXPECT_EQ(0u, harness.countConsole("Restarting APP")) << harness.out();
    EXPECT_EQ(0u, harness.site().countSubscriptions(HALL)) << harness.out();
}

TEST(WatsonBridgeOutageTest, EventsOfAnOutageFollowTheReconnectInOrderMarkedReplayedWithTheirTime)
{
    // The cloud side keeps its session while the broker is stopped: it misses nothing of the reconnect.
    MosquittoBroker broker(MosquittoBroker::Options{nullptr, {}, false, "", true});
    MosquittoProbe cloud(broker, BOILER_COV, "", "", "", "", "", true);
    WatsonBridgeHarness harness(broker.port());
    harness.start();
    ASSERT_TRUE(waitForEvents(cloud, BOILER_COV)) << harness.out();
    broker.stop();
    Poco::Thread::sleep(1500);  // the hall value drifts: changes queue up
    broker.start();
    const auto isReplayed = [](const MosquittoProbe::Message& message)
    { return message.payload.find(R"({"replayed":true,"time":")") == 0; };
    ASSERT_TRUE(cloud.waitUntil(
        [&](const Messages& messages) {
            return std::any_of(messages.begin(), messages.end(), isReplayed) && !isReplayed(messages.back());
        }))
        << harness.out();

    const Messages events = cloud.messages();
    const auto replayed = std::find_if(events.begin(), events.end(), isReplayed);
    const auto live = std::find_if_not(replayed, events.end(), isReplayed);
    EXPECT_TRUE(std::none_of(live, events.end(), isReplayed));
    std::vector<std::string> times;
    for (auto event = replayed; event != live; ++event)
        times.push_back(Poco::JSON::Parser()
                            .parse(event->payload)
                            .extract<Poco::JSON::Object::Ptr>()
                            ->getValue<std::string>("time"));
    EXPECT_GE(times.size(), 5u);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    // The hall value drifts: a repeated event would be equal to another.
    std::set<std::string> payloads;
    std::transform(replayed, live, std::inserter(payloads, payloads.end()),
                   [](const MosquittoProbe::Message& event) { return event.payload; });
    EXPECT_EQ(times.size(), payloads.size());
}

TEST_F(WatsonBridgeScheduleTest, TrendLogWithoutCovIsPolledUnderItsOwnName)
{
    // The trend log follows the pump in the reply: it must not take the pump's name.
    WatsonBridgeHarness harness(_broker.port(),
                                {{9, "1"}, {10, "[device:2001/binary-value:3, device:2001/trend-log:4]"}});
    harness.start();
    ASSERT_TRUE(waitForEventsWith(_cloud, "HallLog_log-buffer", 2)) << harness.out();
    EXPECT_EQ(0u, eventsWith(_cloud.messages(), "Pump_log-buffer"));
    EXPECT_EQ(0u, harness.site().countSubscriptions(DataObjectKey(2001, ObjectIdentifier(20, 4))));
}

TEST_F(WatsonBridgeScheduleTest, ShortLifetimesAreRenewed)
{
    WatsonBridgeHarness harness(_broker.port(), {{8, "2"}, {10, "[device:2001/analog-input:1]"}});
    harness.start();
    ASSERT_TRUE(waitForEventsWith(_cloud, "Hall_present-value", 1)) << harness.out();
    // Renewed every second, the subscription still stands past its lifetime of 2 s.
    const auto subscribed = std::chrono::steady_clock::now();
    const Poco::UInt32 requests = harness.site().getRequestCount(2001);
    ASSERT_TRUE(eventually([&] { return harness.site().getRequestCount(2001) >= requests + 2; }));
    std::this_thread::sleep_until(subscribed + std::chrono::milliseconds(2500));
    EXPECT_EQ(1u, harness.site().countSubscriptions(HALL));
    const std::size_t before = eventsWith(_cloud.messages(), "Hall_present-value");
    EXPECT_TRUE(waitForEventsWith(_cloud, "Hall_present-value", before + 1));
}

TEST_F(WatsonBridgeScheduleTest, ADeviceOffAtTheStartIsPublishedOnceItAnswers)
{
    // Renewals every 3 s.
    WatsonBridgeHarness harness(_broker.port(), {{8, "6"}, {10, "[device:2001/analog-input:1]"}});
    harness.site().setSilent(2001, true);
    harness.start();
    ASSERT_TRUE(harness.waitForConsole("device 2001 did not answer")) << harness.out();
    harness.site().setSilent(2001, false);
    EXPECT_TRUE(waitForEventsWith(_cloud, "Hall_present-value", 1)) << harness.out();
    EXPECT_EQ(1u, harness.countConsole("did not answer")) << harness.out();
}

TEST_F(WatsonBridgeScheduleTest, NoLifetimeOrOneSecondIsNotABusyLoop)
{
    for (const std::string lifetime : {"0", "1"})
    {
        _cloud.clear();
        WatsonBridgeHarness harness(_broker.port(), {{8, lifetime}, {10, "[device:2001/analog-input:1]"}});
        harness.start();
        ASSERT_TRUE(waitForEventsWith(_cloud, "Hall_present-value", 1)) << harness.out();
        std::this_thread::sleep_for(std::chrono::seconds(2));
        // One identity read and a subscription, renewed at most once a second (a renewal every 0.4 s
        // would already make 7).
        EXPECT_LE(harness.site().getRequestCount(2001), 6u) << "lifetime " << lifetime;
    }
}
