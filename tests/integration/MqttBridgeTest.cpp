#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/AppMqttBridge.h"

#include "Eventually.h"
#include "GatewayRig.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "TlsCertificates.h"

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/RegularExpression.h>
#include <gtest/gtest.h>

#include <map>

using namespace Orvik::BACnet::App::VendorOrvik::MqttBridge;
using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::DataType::ObjectIdentifier;
using Orvik::Test::eventually;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::TlsCertificates;
using Messages = std::vector<MosquittoProbe::Message>;

namespace
{

const char* const SITE = R"({
  "tickMs": 50,
  "devices": [
    {"instance": 1000, "name": "Gateway", "vendorIdentifier": 64701, "modelName": "GW", "objects": []},
    {"instance": 2001, "name": "Boiler", "vendorIdentifier": 5, "modelName": "X",
     "objects": [
       {"type": "analog-input", "instance": 1, "name": "Hall", "presentValue": 20, "covIncrement": 0.01,
        "units": "degrees-celsius", "drift": {"amplitude": 5, "periodSeconds": 4}},
       {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21},
       {"type": "binary-value", "instance": 3, "name": "Pump", "presentValue": "inactive"}]}
  ]
})";
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
    return probe.waitUntil(
        [&](const Messages& messages)
        {
            return std::any_of(
                messages.begin(), messages.end(),
                [&](const auto& message)
                { return message.topic == topic && message.payload.find(payloadPart) != std::string::npos; });
        });
}

/// The bridge's own device 1000 and the boiler 2001 of SITE, one instance of app 503 with the prefix
/// site7 publishing the three boiler points, the value and the pump commandable; `parameters` (by
/// number) add to or replace those.
class MqttBridgeHarness
{
public:
    MqttBridgeHarness(const MosquittoBroker& broker, const std::map<int, std::string>& parameters = {})
    {
        _rig.db().exec(
            "INSERT INTO bn_device (id_bn_device, id_dv_controller, name) VALUES (1, 1, 'Gateway');"
            "INSERT INTO bn_device_object (id_bn_device, id_bn_object_type, instance_nr, name) "
            "VALUES (1, 8, 1000, 'Gateway')");
        const Poco::Int32 instance = _rig.db().addInstance(503, 1, true);
        std::string url = broker.uri();
        url.replace(0, 3, url.compare(0, 3, "ssl") == 0 ? "mqtts" : "mqtt");
        std::map<int, std::string> values = {
            {1, url},
            {11, "site7"},
            {14, "[device:2001/analog-input:1, device:2001/analog-value:2, device:2001/binary-value:3]"},
            {15, "[device:2001/analog-value:2, device:2001/binary-value:3]"}};
        for (const auto& [number, text] : parameters)
            values[number] = text;
        for (const auto& [number, text] : values)
            _rig.db().storeValue(instance, 50300 + number, text);
        _rig.serveSiteText(SITE, Orvik::Test::GatewayRig::Waits{1000, 1, 500});
        Orvik::BACnet::App::VendorOrvik::WatsonMQTT::DataBridgeTimings timings;
        timings.reconnectWaitMs = 300;
        timings.quietDrainMs = 200;
        timings.drainLimitMs = 1000;
        auto appTypes = Orvik::BACnet::App::AppManager::appTypes();
        appTypes[503] = [timings](Poco::Int32 id) { return new AppMqttBridge(id, timings); };
        _rig.startManager(appTypes);
    }

    ~MqttBridgeHarness() { EXPECT_TRUE(_rig.stopManager()); }

    std::string console() const { return _rig.out(); }

    std::string presentValue(Poco::UInt32 type, Poco::UInt32 instance)
    {
        Orvik::BACnet::ValueContainer value;
        _rig.site().readProperty(DataPropertyKey(DataObjectKey(2001, ObjectIdentifier(type, instance)),
                                                 Orvik::BACnet::PROP_PRESENT_VALUE),
                                 value);
        return value.getText();
    }

private:
    Orvik::Test::GatewayRig _rig{1000};
};

}  // namespace

TEST(MqttBridgeTest, PublishesEveryPointOnItsTopicWithUnitsStatusFlagsAndTime)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "site7/#");
    MqttBridgeHarness bridge(broker, {{12, "true"}});
    ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << bridge.console();
    ASSERT_TRUE(waitForMessageOn(cloud, HALL) && waitForMessageOn(cloud, PUMP) &&
                waitForMessageOn(cloud, SETPOINT))
        << bridge.console();

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
}

TEST(MqttBridgeTest, CommandsWriteAtTheirPriorityAndAnswerWithTheirCorrelationData)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "site7/#");
    MqttBridgeHarness bridge(broker);
    ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << bridge.console();
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
        EXPECT_TRUE(cloud.waitUntil(
            [&](const Messages& messages)
            {
                return std::any_of(messages.begin(), messages.end(),
                                   [&](const auto& message)
                                   {
                                       return message.topic == c.topic + "/set/result" &&
                                              message.correlation == id &&
                                              message.payload.find(c.result) != std::string::npos;
                                   });
            }))
            << c.topic << " " << c.payload << "\n"
            << bridge.console();
        EXPECT_EQ(c.setpoint, bridge.presentValue(Orvik::BACnet::OBJECT_ANALOG_VALUE, 2)) << c.payload;
    }
    EXPECT_EQ("1", bridge.presentValue(Orvik::BACnet::OBJECT_BINARY_VALUE, 3));
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
        MqttBridgeHarness bridge(broker, c.parameters);
        if (c.refusal.empty())
        {
            // The ACL leaves the bridge only its prefix: status, values, commands and results live there.
            ASSERT_TRUE(waitForMessageOn(cloud, STATUS, "online")) << c.name << "\n" << bridge.console();
            cloud.publish(SETPOINT + "/set", R"({"value":25})", "ok");
            EXPECT_TRUE(waitForMessageOn(cloud, SETPOINT + "/set/result", "done")) << c.name << "\n"
                                                                                   << bridge.console();
            continue;
        }
        // Refused again and again (the probe made the first connection), said once.
        EXPECT_TRUE(
            eventually([&] { return Orvik::Test::countOf(broker.log(), "New connection from") >= 4; }))
            << c.name << "\n"
            << broker.log();
        const std::string console = bridge.console();
        EXPECT_EQ(1u, Orvik::Test::countOf(console, CANNOT_CONNECT)) << c.name << "\n" << console;
        EXPECT_EQ(1u, Orvik::Test::countOf(console, c.refusal)) << c.name << "\n" << console;
        EXPECT_TRUE(cloud.messagesOn(STATUS).empty()) << c.name;
    }
}
