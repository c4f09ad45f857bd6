#include "Eventually.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "MqttBridgeRig.h"
#include "TlsCertificates.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/LocalDateTime.h>
#include <Poco/Process.h>
#include <Poco/RegularExpression.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

using Orvik::Test::countOf;
using Orvik::Test::eventually;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::MqttBridgeRig;
using Orvik::Test::TlsCertificates;
using Messages = std::vector<MosquittoProbe::Message>;

namespace
{

const std::string HALL = "site7/2001/analog-input/1/present-value";
const std::string SETPOINT = "site7/2001/analog-value/2/present-value";
const std::string PUMP = "site7/2001/binary-value/3/present-value";
const std::string STATUS = "site7/status";
const std::string CANNOT_CONNECT = "AppMqttBridge cannot connect to ";

Poco::JSON::Object::Ptr jsonOf(const std::string& payload)
{
    return Poco::JSON::Parser().parse(payload).extract<Poco::JSON::Object::Ptr>();
}

bool waitForMessageOn(const MosquittoProbe& probe, const std::string& topic,
                      const std::string& payloadPart = "")
{
    return probe.waitForMatches(
        [&](const auto& message)
        { return message.topic == topic && message.payload.find(payloadPart) != std::string::npos; });
}

}  // namespace

TEST(MqttBridgeTest, PublishesEveryPointWithUnitsStatusFlagsAndTimeAndAnswersCommandsWithTheirCorrelationData)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "site7/#");
    MqttBridgeRig bridge(broker.uri(), {{12, "true"}});
    bridge.start();
    ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << bridge.out();
    ASSERT_TRUE(waitForMessageOn(cloud, HALL) && waitForMessageOn(cloud, PUMP) &&
                waitForMessageOn(cloud, SETPOINT))
        << bridge.out();

    const auto hall = jsonOf(cloud.messagesOn(HALL).front().payload);
    EXPECT_TRUE(hall->get("value").isNumeric());
    EXPECT_EQ("degrees-celsius", hall->getValue<std::string>("units"));
    EXPECT_FALSE(hall->getObject("statusFlags")->getValue<bool>("outOfService"));
    EXPECT_TRUE(Poco::RegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}(Z|[+-]\d\d:\d\d)$)")
                    .match(hall->getValue<std::string>("time")));
    const auto pump = jsonOf(cloud.messagesOn(PUMP).front().payload);
    EXPECT_EQ(0, pump->getValue<int>("value"));
    EXPECT_TRUE(pump->isNull("units"));

    // Retained on request: a late subscriber gets the last value of each point at once.
    MosquittoProbe late(broker, "site7/2001/#");
    ASSERT_TRUE(waitForMessageOn(late, PUMP));
    EXPECT_TRUE(late.messagesOn(PUMP).front().retained);

    // Commands write at their priority and answer with their correlation data.
    struct Case
    {
        std::string topic;
        std::string payload;
        std::string result;
        std::string setpoint;  ///< the setpoint's value afterwards
    };
    const Case cases[] = {
        {SETPOINT, R"({"value":30.5,"priority":4})", R"({"result":"done"})", "30.5"},
        {SETPOINT, R"({"value":10})", R"({"result":"done"})", "30.5"},  // priority 16 ranks below 4
        {SETPOINT, R"({"value":null,"priority":4})", R"({"result":"done"})", "10"},
        {PUMP, R"({"value":1,"priority":8})", R"({"result":"done"})", "10"},
        {HALL, R"({"value":1})", "Unknown object reference", "10"},
        {SETPOINT, R"({"value":1,"priority":6})", "Unexpected Write Property Priority value", "10"},
        {SETPOINT, R"({"value":"warm"})", "Value does not fit the datatype of present-value", "10"},
        {SETPOINT, R"({"priority":3})", "\\\"value\\\" missing", "10"},
        {SETPOINT, "[1", "error", "10"},
        {"site7/2001/analog-value/2/units", R"({"value":62})", "write-access-denied", "10"},
    };
    int correlation = 0;
    for (const Case& c : cases)
    {
        const std::string id = "c" + std::to_string(++correlation);
        cloud.publish(c.topic + "/set", c.payload, id);
        EXPECT_TRUE(cloud.waitForMatches(
            [&](const auto& message)
            {
                return message.topic == c.topic + "/set/result" && message.correlation == id &&
                       message.payload.find(c.result) != std::string::npos;
            }))
            << c.topic << " " << c.payload << "\n"
            << bridge.out();
        EXPECT_EQ(c.setpoint, bridge.presentValue(2001, "analog-value:2")) << c.payload;
    }
    EXPECT_EQ("1", bridge.presentValue(2001, "binary-value:3"));

    // A command too large for the bridge never reaches it; the next one is carried out.
    cloud.publish(SETPOINT + "/set", R"({"value":1,"x":")" + std::string(200000, 'x') + R"("})", "big");
    cloud.publish(SETPOINT + "/set", R"({"value":12})", "after");
    EXPECT_TRUE(cloud.waitForMatches(
        [](const auto& message)
        { return message.topic == SETPOINT + "/set/result" && message.correlation == "after"; }))
        << bridge.out();
    for (const auto& message : cloud.messages())
        EXPECT_FALSE(message.topic == SETPOINT + "/set/result" && message.correlation == "big")
            << message.payload.substr(0, 200);
}

TEST(MqttBridgeTest, LogsInWithCertificateOrPasswordWithinItsAclAndSaysOnceWhyItIsRefused)
{
    TlsCertificates authority;
    TlsCertificates stranger;
    const auto gateway = authority.clientCertificate("gateway");
    const auto probe = authority.clientCertificate("probe");
    const auto forged = stranger.clientCertificate("gateway");
    const std::string acl = "user gateway\ntopic readwrite site7/#\nuser probe\ntopic readwrite #\n";
    const std::vector<std::pair<std::string, std::string>> users = {{"gateway", "pw-1"}, {"probe", "pw-2"}};
    struct Case
    {
        std::string name;
        MosquittoBroker::Options broker;
        std::map<int, std::string> parameters;
        std::string refusal;  ///< what the bridge's line says; "" when it is let in
    };
    const std::map<int, std::string> certificate = {
        {7, authority.caFile()}, {8, gateway.certFile}, {9, gateway.keyFile}};
    const Case cases[] = {
        {"client certificate", {&authority, {}, true, acl}, certificate, ""},
        {"certificate of another authority",
         {&authority, {}, true, acl},
         {{7, authority.caFile()}, {8, forged.certFile}, {9, forged.keyFile}},
         "refused the client certificate"},
        {"server certificate of another authority",
         {&authority, {}, true, acl},
         {{7, stranger.caFile()}, {8, gateway.certFile}, {9, gateway.keyFile}},
         "certificate verify failed"},
        {"password", {nullptr, users, false, acl}, {{5, "gateway"}, {6, "pw-1"}}, ""},
        {"wrong password", {nullptr, users, false, acl}, {{5, "gateway"}, {6, "pw-2"}}, "Not authorized"},
    };
    for (const Case& c : cases)
    {
        MosquittoBroker broker(c.broker);
        const bool tls = c.broker.tls != nullptr;
        MosquittoProbe cloud(broker, "site7/#", tls ? authority.caFile() : "", tls ? "" : "probe",
                             tls ? "" : "pw-2", tls ? probe.certFile : "", tls ? probe.keyFile : "");
        MqttBridgeRig bridge(broker.uri(), c.parameters);
        bridge.start();
        if (c.refusal.empty())
        {
            // The ACL leaves the bridge only its prefix: status, values, commands and results live there.
            ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << c.name << "\n" << bridge.out();
            cloud.publish(SETPOINT + "/set", R"({"value":25})", "ok");
            EXPECT_TRUE(waitForMessageOn(cloud, SETPOINT + "/set/result", "done")) << c.name << "\n"
                                                                                   << bridge.out();
            continue;
        }
        // Refused again and again (the probe made the first connection), said once.
        EXPECT_TRUE(
            eventually([&] { return Orvik::Test::countOf(broker.log(), "New connection from") >= 4; }))
            << c.name << "\n"
            << broker.log();
        const std::string console = bridge.out();
        EXPECT_EQ(1u, Orvik::Test::countOf(console, CANNOT_CONNECT)) << c.name << "\n" << console;
        EXPECT_EQ(1u, Orvik::Test::countOf(console, c.refusal)) << c.name << "\n" << console;
        EXPECT_TRUE(cloud.messagesOn(STATUS).empty()) << c.name;
    }
}

TEST(MqttBridgeTest, ValuesOfAnOutageSurviveAKilledGatewayAndArriveOnceInOrderMarkedReplayed)
{
    // The cloud side keeps its session while the broker is stopped: it misses nothing of the reconnect.
    MosquittoBroker broker(MosquittoBroker::Options{nullptr, {}, false, "", true});
    MosquittoProbe cloud(broker, HALL, "", "", "", "", "", true);
    Poco::TemporaryFile folder;
    folder.createDirectories();
    const auto startGateway = [&]
    {
        const Poco::StringTokenizer words(ORVIK_BRIDGE_DRIVER_COMMAND, "|",
                                          Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        std::vector<std::string> arguments(words.begin() + 1, words.end());
        arguments.insert(arguments.end(), {folder.path() + "/config.db", broker.uri(), "300"});
        return Poco::Process::launch(words[0], arguments);
    };
    const auto isReplayed = [](const MosquittoProbe::Message& message)
    { return jsonOf(message.payload)->has("replayed"); };
    Poco::ProcessHandle first = startGateway();
    ASSERT_TRUE(waitForMessageOn(cloud, HALL));
    broker.stop();
    Poco::Thread::sleep(1500);  // the hall value drifts: changes queue up
    Poco::Process::kill(first);
    first.wait();
    const std::string killedAt =
        Poco::DateTimeFormatter::format(Poco::LocalDateTime(), "%Y-%m-%dT%H:%M:%S.%i%z");
    Poco::ProcessHandle second = startGateway();
    Poco::Thread::sleep(1500);
    broker.start();
    EXPECT_TRUE(cloud.waitUntil(
        [&](const Messages& messages) {
            return std::any_of(messages.begin(), messages.end(), isReplayed) && !isReplayed(messages.back());
        }));
    Poco::Process::kill(second);
    second.wait();

    // Both gateways' changes, oldest first, each once, before any newer live value.
    const Messages hall = cloud.messages();
    const auto replayed = std::find_if(hall.begin(), hall.end(), isReplayed);
    const auto live = std::find_if_not(replayed, hall.end(), isReplayed);
    EXPECT_TRUE(std::none_of(live, hall.end(), isReplayed));
    std::vector<std::string> times;
    std::set<std::string> payloads;
    for (auto message = replayed; message != live; ++message)
    {
        times.push_back(jsonOf(message->payload)->getValue<std::string>("time"));
        payloads.insert(message->payload);
    }
    ASSERT_GE(times.size(), 10u);
    EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    EXPECT_EQ(times.size(), payloads.size());  // the value drifts: a repeated message would be equal
    EXPECT_LT(times.front(), killedAt);
    EXPECT_GT(times.back(), killedAt);
    EXPECT_LE(times.back(), jsonOf(live->payload)->getValue<std::string>("time"));
}

TEST(MqttBridgeTest, ALimitOf50MessagesASecondHoldsUnder2000ChangesASecondAndEachPointEndsWithItsNewest)
{
    const int points = 100;
    std::string objects;
    std::string published;
    for (int i = 1; i <= points; ++i)
    {
        const std::string separator = i > 1 ? ", " : "";
        objects += separator + R"({"type": "analog-input", "instance": )" + std::to_string(i) +
                   R"(, "name": "P)" + std::to_string(i) + R"(", "presentValue": 0, "covIncrement": 0.5})";
        published += separator + "device:2001/analog-input:" + std::to_string(i);
    }
    const std::string site = R"({"devices": [{"instance": 1000, "name": "Gateway", "objects": []},
        {"instance": 2001, "name": "Boiler", "objects": [)" +
                             objects + "]}]}";
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "site7/2001/#");
    MqttBridgeRig bridge(broker.uri(), {{14, "[" + published + "]"}, {17, "50"}}, site);
    bridge.start();
    ASSERT_TRUE(cloud.waitForMessages(1)) << bridge.out();
    ASSERT_TRUE(eventually(
        [&]
        {
            return bridge.site().countSubscriptions(Orvik::BACnet::Client::DataObjectKey(
                       2001, Orvik::BACnet::DataType::ObjectIdentifier(0, points))) == 1;
        }));

    // Every point changes 20 times a second for 3 s; the limit's rate is measured from 1 s to 3 s.
    const int rounds = 60;
    std::size_t countAt1s = 0;
    const Poco::Timestamp start;
    for (int round = 1; round <= rounds; ++round)
    {
        for (int i = 1; i <= points; ++i)
        {
            Orvik::BACnet::ValueContainer value;
            value.setReal(static_cast<float>(round));
            bridge.site().changeValue(
                Orvik::BACnet::Client::DataObjectKey(
                    2001, Orvik::BACnet::DataType::ObjectIdentifier(0, static_cast<Poco::UInt32>(i))),
                value);
        }
        if (round == 20)
            countAt1s = cloud.messages().size();
        Poco::Thread::sleep(std::max<long>(0, round * 50 - static_cast<long>(start.elapsed() / 1000)));
    }
    const double seconds = static_cast<double>(start.elapsed()) / 1e6 - 1.0;
    const double rate = static_cast<double>(cloud.messages().size() - countAt1s) / seconds;
    EXPECT_NEAR(50.0, rate, 5.0);

    // Each point's newest value arrives, none older after newer.
    const auto lastValue = [&](int i)
    {
        const Messages messages =
            cloud.messagesOn("site7/2001/analog-input/" + std::to_string(i) + "/present-value");
        return messages.empty() ? -1.0 : jsonOf(messages.back().payload)->getValue<double>("value");
    };
    EXPECT_TRUE(eventually(
        [&]
        {
            for (int i = 1; i <= points; ++i)
                if (lastValue(i) != rounds)
                    return false;
            return true;
        },
        std::chrono::seconds(10)));
    for (int i = 1; i <= points; ++i)
    {
        std::vector<double> values;
        for (const auto& message :
             cloud.messagesOn("site7/2001/analog-input/" + std::to_string(i) + "/present-value"))
            values.push_back(jsonOf(message.payload)->getValue<double>("value"));
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end())) << i;
    }
}

TEST(MqttBridgeTest, APointThatRefusesCovIsPolledOnItsTopicAndARenewalThatIsAcceptedEndsThePolls)
{
    const Orvik::BACnet::Client::DataObjectKey hall(2001, Orvik::BACnet::DataType::ObjectIdentifier(0, 1));
    for (const bool covAgain : {false, true})  // refused for good, refused once
    {
        MosquittoBroker broker;
        MosquittoProbe cloud(broker, HALL);
        // Renewals every 3 s, readings every second.
        MqttBridgeRig bridge(broker.uri(), {{13, "6"}, {14, "[device:2001/analog-input:1]"}, {19, "1"}},
                             std::string(R"({"devices": [{"instance": 1000, "objects": []}, {"instance": 2001,
            "objects": [{"type": "analog-input", "instance": 1, "presentValue": 20, "units": "degrees-celsius"}],
            "faults": {"errors": [{"service": "subscribe-cov", "errorClass": "services", "errorCode":
            "optional-functionality-not-supported")") +
                                 (covAgain ? R"(, "count": 1)" : "") + "}]}}]}");
        bridge.start();
        ASSERT_TRUE(waitForMessageOn(cloud, HALL)) << bridge.out();
        const auto first = jsonOf(cloud.messagesOn(HALL).front().payload);
        EXPECT_EQ("degrees-celsius", first->getValue<std::string>("units"));
        EXPECT_FALSE(first->getObject("statusFlags")->getValue<bool>("inAlarm"));
        const auto followed = [&](float value)
        {
            Orvik::BACnet::ValueContainer container;
            container.setReal(value);
            bridge.site().changeValue(hall, container);
            return waitForMessageOn(cloud, HALL, "\"value\":" + std::to_string(value).substr(0, 4));
        };
        EXPECT_TRUE(followed(25.5f)) << bridge.out();
        // Past the first renewal: a point still refused is read on, one subscribed no more.
        Poco::Thread::sleep(covAgain ? 0 : 3500);
        ASSERT_EQ(covAgain, eventually([&] { return countOf(bridge.out(), "by COV again") == 1; },
                                       std::chrono::milliseconds(covAgain ? 10000 : 0)));
        Poco::Thread::sleep(200);
        EXPECT_EQ(covAgain ? 1u : 0u, bridge.site().countSubscriptions(hall)) << covAgain;
        const Poco::UInt32 before = bridge.site().getRequestCount(2001);
        Poco::Thread::sleep(2000);
        EXPECT_EQ(covAgain, bridge.site().getRequestCount(2001) == before) << covAgain;
        EXPECT_TRUE(followed(26.5f)) << bridge.out();
        EXPECT_EQ(1u, countOf(bridge.out(), "refused COV")) << bridge.out();
    }
}

TEST(MqttBridgeTest, PublishesAndCarriesOutCommandsOverWebSockets)
{
    MosquittoBroker::Options withWebSockets;
    withWebSockets.webSockets = true;
    MosquittoBroker broker(withWebSockets);
    MosquittoProbe cloud(broker, "site7/#");
    MqttBridgeRig bridge(broker.uri(), {{1, broker.webSocketUri()}});
    bridge.start();
    ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << bridge.out() << broker.log();
    EXPECT_TRUE(waitForMessageOn(cloud, HALL)) << bridge.out();
    cloud.publish(SETPOINT + "/set", R"({"value":27,"priority":8})", "ws");
    EXPECT_TRUE(waitForMessageOn(cloud, SETPOINT + "/set/result", "done")) << bridge.out();
}

TEST(MqttBridgeTest, ADeviceOffAtTheStartIsPublishedOnceItAnswers)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, HALL);
    MqttBridgeRig bridge(broker.uri(),
                         {{13, "6"}, {14, "[device:2001/analog-input:1]"}});  // renewals every 3 s
    bridge.site().setSilent(2001, true);
    bridge.start();
    ASSERT_TRUE(eventually([&] { return countOf(bridge.out(), "device 2001 did not answer") == 1; }))
        << bridge.out();
    bridge.site().setSilent(2001, false);
    EXPECT_TRUE(waitForMessageOn(cloud, HALL)) << bridge.out();
    EXPECT_EQ(1u, countOf(bridge.out(), "did not answer")) << bridge.out();
}
