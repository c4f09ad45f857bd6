#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CommandParser.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

#include <Poco/Random.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT;
using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::DataType::ObjectIdentifier;

namespace
{

const DataObjectKey SETPOINT(2001, ObjectIdentifier(Orvik::BACnet::OBJECT_ANALOG_VALUE, 2));
const DataObjectKey PUMP(2001, ObjectIdentifier(Orvik::BACnet::OBJECT_BINARY_VALUE, 3));
const DataWatsonKey BOILER("0005-X", "Boiler", "");

/// Commands sent to the boiler, whose objects "Setpoint" and "Pump" accept
/// commands.
DataCheckedCommand boilerCommand(const std::string& name, const std::string& payload)
{
    const CommandParser parser(
        "gwtype", "gw1",
        [](const DataWatsonKey& watson, DataObjectKey& object)
        {
            if (watson.deviceType != BOILER.deviceType || watson.deviceId != BOILER.deviceId)
            {
                return false;
            }
            object = watson.propertyId == "Setpoint" ? SETPOINT : PUMP;
            return watson.propertyId == "Setpoint" || watson.propertyId == "Pump";
        });
    return parser.parse(name, BOILER, payload);
}

struct RefusedCommand
{
    const char* why;
    std::string name;
    std::string payload;
    /// The start of the error text; empty: the JSON parser's own message,
    /// whatever it says.
    std::string error;
};

/// A write of `value` to the setpoint.
std::string sp(const std::string& value)
{
    return R"({"d":{"Setpoint_present-value":)" + value + "}}";
}

/// A BACnet/WS request of `clientId` (JSON).
std::string ws(const std::string& clientId, const std::string& request = R"({"method":"GET","path":"/"})")
{
    return R"({"d":{"client-id":)" + clientId + R"(,"ws":)" + request + "}}";
}

const std::vector<RefusedCommand>& refusedCommands()
{
    static const std::vector<RefusedCommand> cases = {
        {"priority 5 is reserved", "wp5", sp("1"), "Unexpected Write Property Priority value"},
        {"priority not a hex digit", "wpg", sp("1"), "Unexpected Write Property Priority value"},
        {"name too long for a write", "wpxy", sp("1"), "Invalid Command type: wpxy"},
        {"other command", "reboot", "{}", "Invalid Command type: reboot"},
        {"payload an array", "wp", "[1,2]", "JSON object exepcted"},
        {"payload a string", "wp", "\"d\"", ""},
        {"payload null", "wp", "null", ""},
        {"no member d", "wp", R"({"e":{}})", "Object \"d\" missing"},
        {"d null", "wp", R"({"d":null})", "Object \"d\" missing"},
        {"value an object", "wp", sp(R"({"v":1})"), "Value expected"},
        {"name without property", "wp", R"({"d":{"Setpoint_present_value":1}})",
         "Invalid name/property combination"},
        {"empty member name", "wp", R"({"d":{"":1}})", "Invalid name/property combination"},
        {"only an underscore", "wp", R"({"d":{"_":1}})", "Unknown object reference: \"0005-X\tBoiler\t\""},
        {"double underscore", "wp", R"({"d":{"Setpoint__present-value":1}})",
         "Invalid name/property combination"},
        {"unknown object", "wp", R"({"d":{"Nothing_present-value":1}})",
         "Unknown object reference: \"0005-X\tBoiler\tNothing\""},
        {"object name with NUL", "wp", R"({"d":{"Setpoint\u0000_present-value":1}})",
         "Invalid name/property combination"},
        {"object name not UTF-8", "wp", "{\"d\":{\"Set\xffpoint_present-value\":1}}", ""},
        {"empty property", "wp", R"({"d":{"Setpoint_":1}})", "Unknown property name: \"\""},
        {"unknown property", "wp", R"({"d":{"Setpoint_present-valve":1}})",
         "Unknown property name: \"present-valve\""},
        {"text for a real", "wp", sp(R"("warm")"),
         "Value does not fit the datatype of present-value: \"warm\""},
        {"null for a real", "wp", sp("null"), "Can not convert empty value"},
        {"list for a real", "wp", sp("[1,2]"), "Value does not fit the datatype of present-value"},
        {"number out of range", "wp", sp("1e999"), ""},
        {"text not UTF-8", "wp", sp("\"\xc3\x28\""), ""},
        {"megabyte text", "wp", sp("\"" + std::string(1 << 20, 'x') + "\""),
         "Value does not fit the datatype"},
        {"deep nesting in a value", "wp", sp(std::string(300, '[') + "1" + std::string(300, ']')), ""},
        {"empty payload", "wp", "", ""},
        {"open brace", "wp", "{", ""},
        {"cut after d", "wp", "{\"d\":", ""},
        {"deep arrays", "wp", std::string(200000, '['), ""},
        {"deep objects", "wp", std::string(100000, '{'), ""},
        {"ws without client id", "bacnet-ws", R"({"d":{"ws":{}}})",
         "\"client-id \"\" missing or not a string"},
        {"ws not an object", "bacnet-ws", ws(R"("c")", R"("x")"), "\"ws \"\" missing or not an object"},
        {"client id with a level separator", "bacnet-ws", ws(R"("a/b")"),
         "client-id not usable in an event name: \"a\\/b\""},
        {"client id with a line break", "bacnet-ws", ws(R"("a\nb")"),
         "client-id not usable in an event name: \"a\\nb\""},
        {"client id longer than a topic", "bacnet-ws",
         ws("\"" + std::string(70000, 'c') + "\"", R"({"method":"GET","path":"/"})"),
         "client-id not usable in an event name"},
        {"method forging a request line", "bacnet-ws",
         ws(R"("c")", R"({"method":"GET /x HTTP/1.1\r\nX:","path":"/"})"),
         "Invalid BACnet/WS method: \"GET \\/X HTTP\\/1.1\\r\\nX:\""},
        {"no method", "bacnet-ws", ws(R"("c")", R"({"path":"/"})"), "Invalid BACnet/WS method: \"\""},
        {"blank in the path", "bacnet-ws", ws(R"("c")", R"({"method":"GET","path":"/a b"})"),
         "Invalid BACnet/WS path: \"\\/a b\""},
        {"no path", "bacnet-ws", ws(R"("c")", R"({"method":"GET"})"), "Invalid BACnet/WS path: \"\""},
        {"path not ASCII", "bacnet-ws", ws(R"("c")", R"({"method":"GET","path":"/\u00e4"})"),
         "Invalid BACnet/WS path"},
        {"body a string", "bacnet-ws", ws(R"("c")", R"({"method":"PUT","path":"/","payload":"text"})"),
         "BACnet/WS payload is not an object"},
    };
    return cases;
}

}  // namespace

TEST(WatsonCommandParserTest, RefusedCommandsSayWhyAndWriteNothing)
{
    for (const RefusedCommand& refused : refusedCommands())
    {
        const DataCheckedCommand command = boilerCommand(refused.name, refused.payload);
        EXPECT_FALSE(command.error.empty()) << refused.why;
        EXPECT_EQ(0u, command.error.find(refused.error)) << refused.why << ": " << command.error;
        EXPECT_TRUE(command.writes.empty()) << refused.why;
        EXPECT_FALSE(command.forwardBACnetWs) << refused.why;
    }
}

TEST(WatsonCommandParserTest, RandomBytesAreRefused)
{
    Poco::Random random;
    random.seed(4711);
    for (int i = 0; i < 400; ++i)
    {
        std::string noise(8 + random.next(300), ' ');
        for (char& c : noise)
        {
            c = static_cast<char>(random.next(256));
        }
        const std::string payload = i % 2 == 0 ? noise : sp(noise);
        const DataCheckedCommand command = boilerCommand(i % 4 < 2 ? "wp" : "bacnet-ws", payload);
        EXPECT_FALSE(command.error.empty()) << "input " << i << " of seed 4711";
        EXPECT_TRUE(command.writes.empty()) << "input " << i << " of seed 4711";
        EXPECT_FALSE(command.forwardBACnetWs) << "input " << i << " of seed 4711";
    }
}

TEST(WatsonCommandParserTest, WritesCarryTheirPriorityTargetAndTypedValue)
{
    const DataCheckedCommand written = boilerCommand("WP3", sp(R"("30.5")"));
    ASSERT_EQ(1u, written.writes.size()) << written.error;
    EXPECT_EQ(4u, written.writes[0].priority);
    EXPECT_EQ(SETPOINT, written.writes[0].target.getObjectKey());
    EXPECT_EQ(Orvik::BACnet::PROP_PRESENT_VALUE, written.writes[0].target.propertyRef.propertyIdentifier);
    EXPECT_EQ("30.5", written.writes[0].value.getText());

    // Names are trimmed around the underscore; "wpf" is priority 16 like "wp".
    const DataCheckedCommand two =
        boilerCommand("wpf", R"({"d":{" Setpoint _ present-value ":7, "Pump_present-value":"1"}})");
    ASSERT_EQ(2u, two.writes.size()) << two.error;
    EXPECT_EQ(16u, two.writes[1].priority);
    EXPECT_TRUE(two.error.empty());

    // A failing member stops the command; the members before it (in name order)
    // stand.
    const DataCheckedCommand partly =
        boilerCommand("wp", R"({"d":{"Zzz_present-value":1, "Pump_present-value":"1"}})");
    ASSERT_EQ(1u, partly.writes.size());
    EXPECT_EQ(PUMP, partly.writes[0].target.getObjectKey());
    EXPECT_EQ("Unknown object reference: \"0005-X\tBoiler\tZzz\"", partly.error);
}

TEST(WatsonCommandParserTest, BacnetWsRequestsKeepTheirPartsWithTheMethodInUpperCase)
{
    const DataCheckedCommand request = boilerCommand(
        "BACnet-WS", ws("42", R"({"method":"put","path":"/bws/x?alt=json","payload":{"a":[1]}})"));
    ASSERT_TRUE(request.forwardBACnetWs) << request.error;
    EXPECT_EQ("42", request.clientId);
    EXPECT_EQ("PUT", request.method);
    EXPECT_EQ("/bws/x?alt=json", request.path);
    EXPECT_NE(std::string::npos, request.body.find("\"a\""));
    EXPECT_TRUE(request.writes.empty());
}
