// The markup writers' document shape, value spelling, document rules and property form, and the markup of
// the constructed datatypes and of value containers. Then the markup validity fuzz: seeded random call
// sequences, and documents shaped like the trend log export, are written with both writers, plain and
// formatted, and read back: XML with Poco's DOM parser, JSON with Python's own json module
// (markup_check.py). Every element, name and value must come back as expected.

#include "ConsoleCapture.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <Poco/AutoPtr.h>
#include <Poco/DOM/DOMParser.h>
#include <Poco/DOM/Document.h>
#include <Poco/DOM/Element.h>
#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Path.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/UTF8String.h>
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <sstream>

using MF = Orvik::BACnet::WS::MarkupFactory;
using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;
using WS::MarkupFactoryJSON;
using WS::MarkupFactoryXML;

namespace
{

template <class Writer, class Calls>
std::string written(Calls calls, bool format = false, bool textExtend = false)
{
    std::ostringstream out;
    Writer mf(out, format, textExtend);
    calls(mf);
    return out.str();
}

/// A small document touching every placement: members, a startArray switch, a collection, a "$" name,
/// and a value in a character buffer (which must select the form with a value).
void writeShapes(MF& mf)
{
    char ipAddress[256] = "10.0.0.7\n";
    mf.markup(MF::BT_STRUCT, "root", MF::Options().open());
    mf.markup(MF::BT_STRING, "ip-address", ipAddress);
    mf.markup(MF::BT_NULL, "nothing");
    mf.markup(MF::BT_LIST, "empty", MF::Options().open());
    mf.closeOpenMarkup();
    mf.markup(MF::BT_ARRAY, "channels", MF::Options().open());
    mf.markup(MF::BT_STRUCT, "1", MF::Options().open().startArray());
    mf.markup(MF::BT_UNSIGNED, "$base", "5");
    mf.closeOpenMarkup();
    mf.markup(MF::BT_STRUCT, "1");
    mf.closeOpenMarkup();
    mf.markup(MF::BT_REAL, "first-item", "2.5", MF::Options().startArray());
    mf.markup(MF::BT_BOOLEAN, "later", "1");
    mf.closeAllOpenMarkups();
}

TEST(MarkupFactory, XmlNamesElementsByBaseTypeAndIgnoresStartArray)
{
    EXPECT_EQ(
        "<Sequence name=\"root\"><String name=\"ip-address\" value=\"10.0.0.7&#10;\"/><Null "
        "name=\"nothing\"/>"
        "<List name=\"empty\"></List><Array name=\"channels\"><Sequence name=\"1\">"
        "<Unsigned name=\"$base\" value=\"5\"/></Sequence><Sequence name=\"1\"/></Array>"
        "<Real name=\"first-item\" value=\"2.5\"/><Boolean name=\"later\" value=\"1\"/></Sequence>",
        written<MarkupFactoryXML>(writeShapes));
}

TEST(MarkupFactory, JsonPlacesMembersAndItemsAsDocumented)
{
    EXPECT_EQ(
        "{\"root\":{\"$base\":\"Sequence\",\"ip-address\":{\"$base\":\"String\",\"$value\":\"10.0.0.7\\n\"},"
        "\"nothing\":{\"$base\":\"Null\"},\"empty\":{\"$base\":\"List\",\"$items\":[]},"
        "\"channels\":{\"$base\":\"Array\",\"$items\":[{\"$name\":\"1\",\"$base\":\"Sequence\","
        "\"$items\":[{\"$name\":\"$base\",\"$base\":\"Unsigned\",\"$value\":5}]},"
        "{\"$name\":\"1\",\"$base\":\"Sequence\"}]},"
        "\"$items\":[{\"$name\":\"first-item\",\"$base\":\"Real\",\"$value\":2.5},"
        "{\"$name\":\"later\",\"$base\":\"Boolean\",\"$value\":true}]}}",
        written<MarkupFactoryJSON>(writeShapes));
    const std::string formatted = written<MarkupFactoryJSON>(writeShapes, true);
    EXPECT_NE(
        std::string::npos,
        formatted.find("\n    \"channels\": {\"$base\": \"Array\", \"$items\": [\n      {\"$name\": \"1\""));
}

TEST(MarkupFactory, JsonValuesAreNumbersAndBooleansOnlyWhenValidAndSafe)
{
    const struct
    {
        MF::BaseType type;
        std::string text, literal;
    } cases[] = {{MF::BT_UNSIGNED, "4294967295", "4294967295"},
                 {MF::BT_INTEGER, "-60", "-60"},
                 {MF::BT_UNSIGNED, "007", "\"007\""},
                 {MF::BT_UNSIGNED, "1.5", "\"1.5\""},
                 {MF::BT_UNSIGNED, "1234567890123456789", "\"1234567890123456789\""},
                 {MF::BT_ENUMERATED, "3", "3"},
                 {MF::BT_ENUMERATED, "operational", "\"operational\""},
                 {MF::BT_REAL, "-1.25E-3", "-1.25E-3"},
                 {MF::BT_REAL, "1e999", "\"1e999\""},
                 {MF::BT_DOUBLE, "nan", "\"nan\""},
                 {MF::BT_DOUBLE, std::string(400, '9'), "\"" + std::string(400, '9') + "\""},
                 {MF::BT_BOOLEAN, "TRUE", "true"},
                 {MF::BT_BOOLEAN, "0", "false"},
                 {MF::BT_BOOLEAN, "yes", "\"yes\""},
                 {MF::BT_STRING, "17", "\"17\""},
                 {MF::BT_STRING,
                  "line\xE2\x80\xA8"
                  "end",
                  "\"line\\u2028end\""}};
    for (const auto& c : cases)
    {
        const std::string expected = "{\"v\":{\"$base\":\"" + std::string(MF::baseTypeName(c.type)) +
                                     "\",\"$value\":" + c.literal + "}}";
        EXPECT_EQ(expected, written<MarkupFactoryJSON>([&c](MF& mf) { mf.markup(c.type, "v", c.text); }));
    }
}

TEST(MarkupFactory, MetadataBecomesAttributesAndDefinitionsCarryNoValue)
{
    const auto calls = [](MF& mf)
    {
        mf.markup(MF::BT_REAL, "present-value", "1.5",
                  MF::Options()
                      .errorCode(31)
                      .truncated()
                      .comment("c&")
                      .displayName("Room \"1\"")
                      .propertyIdentifier("85"));
    };
    EXPECT_EQ(
        "<Real name=\"present-value\" value=\"1.5\" error=\"31\" truncated=\"true\" comment=\"c&amp;\" "
        "displayName=\"Room &quot;1&quot;\" propertyIdentifier=\"85\"/>",
        written<MarkupFactoryXML>(calls));
    EXPECT_EQ(
        "{\"present-value\":{\"$base\":\"Real\",\"$value\":1.5,\"$error\":31,\"$truncated\":true,"
        "\"$comment\":\"c&\",\"$displayName\":\"Room \\\"1\\\"\",\"$propertyIdentifier\":\"85\"}}",
        written<MarkupFactoryJSON>(calls));
    EXPECT_EQ(
        "<Real name=\"present-value\"/>",
        written<MarkupFactoryXML>(
            [](MF& mf) { mf.markup(MF::BT_REAL, "present-value", "1.5", MF::Options().definition()); }));
}

TEST(MarkupFactory, DocumentRulesKeepTheOutputWellFormed)
{
    std::ostringstream out;
    {
        MarkupFactoryXML mf(out, false, false);
        EXPECT_THROW(mf.closeOpenMarkup(), Poco::IllegalStateException);
        mf.header();
        EXPECT_THROW(mf.header(), Poco::IllegalStateException);
        mf.markup(MF::BT_STRING, "only", "x");
        EXPECT_TRUE(mf.complete());
        EXPECT_THROW(mf.markup(MF::BT_STRING, "second", "y"), Poco::IllegalStateException);
        EXPECT_NO_THROW(mf.closeAllOpenMarkups());
    }
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><String name=\"only\" value=\"x\"/>", out.str());

    // An unfinished document stays visibly unfinished: the destructor closes nothing.
    EXPECT_EQ("{\"root\":{\"$base\":\"Sequence\",\"tl-data\":{\"$base\":\"List\"",
              written<MarkupFactoryJSON>(
                  [](MF& mf)
                  {
                      mf.markup(MF::BT_STRUCT, "root", MF::Options().open());
                      mf.markup(MF::BT_LIST, "tl-data", MF::Options().open());
                  }));
}

TEST(MarkupFactory, FailedStreamIsReportedNotIgnored)
{
    for (const MF::HandOver handOver : {MF::HAND_OVER_EACH_CALL, MF::HAND_OVER_IN_CHUNKS})
    {
        std::ostringstream out;
        MarkupFactoryXML mf(out, false, false, handOver);
        mf.markup(MF::BT_STRUCT, "root", MF::Options().open());
        out.setstate(std::ios::badbit);
        EXPECT_THROW(mf.markup(MF::BT_STRING, "a", "b"), Poco::IOException);
        EXPECT_THROW(mf.closeAllOpenMarkups(), Poco::IOException);
    }
}

TEST(MarkupFactory, HandingOverInChunksWritesTheSameDocument)
{
    // Values far longer than the writer's buffer, with sequences that straddle its escaping chunks.
    std::string value, xmlValue, jsonValue;
    for (int i = 0; i < 3000; ++i)
    {
        value += "a\xC3\xA9<\"\xFF";
        xmlValue += "a\xC3\xA9&lt;&quot;\xEF\xBF\xBD";
        jsonValue += "a\xC3\xA9<\\\"\xEF\xBF\xBD";
    }
    const auto document = [&value](MF& mf)
    {
        mf.markup(MF::BT_STRUCT, "root", MF::Options().open());
        for (int i = 0; i < 3; ++i)
            mf.markup(MF::BT_STRING, "v", value);
    };
    const auto check = [&document](auto&& makeWriter, const std::string& escaped)
    {
        std::ostringstream eachCall, inChunks;
        const auto eachCallWriter = makeWriter(eachCall, MF::HAND_OVER_EACH_CALL);
        const auto chunkWriter = makeWriter(inChunks, MF::HAND_OVER_IN_CHUNKS);
        document(*eachCallWriter);
        document(*chunkWriter);
        EXPECT_EQ(3u, Orvik::Test::countOf(eachCall.str(), escaped));
        EXPECT_LT(inChunks.str().size(), eachCall.str().size());  // lags until complete or flushed
        chunkWriter->flush();
        EXPECT_EQ(eachCall.str(), inChunks.str());
        eachCallWriter->closeAllOpenMarkups();
        chunkWriter->closeAllOpenMarkups();
        EXPECT_EQ(eachCall.str(), inChunks.str());
    };
    check([](std::ostream& out, MF::HandOver handOver)
          { return std::make_unique<MarkupFactoryXML>(out, false, false, handOver); },
          xmlValue);
    check([](std::ostream& out, MF::HandOver handOver)
          { return std::make_unique<MarkupFactoryJSON>(out, false, false, handOver); },
          jsonValue);
}

TEST(MarkupFactory, PropertyFormTakesNameAndBaseTypeFromTheDatatypeTable)
{
    // device 8: vendor-name 121, system-status 112, object-list 76; trend-log 20: status-flags 111,
    // logging-type 197, log-buffer 131, and the vendor's own 512.
    const auto calls = [](MF& mf)
    {
        mf.markup(MF::BT_STRUCT, "1", MF::Options().open());
        mf.markup(8u, 121u, "Orvik");
        mf.markup(8u, 112u, "0");
        mf.markup(8u, 76u, "", MF::Options().open());
        mf.markup(8u, 76u, "(device, 1)", MF::Options().embedded());
        mf.closeOpenMarkup();
        mf.markup(20u, 111u, "0101");
        mf.markup(20u, 197u, "7");
        mf.markup(20u, 131u, "");
        mf.markup(20u, 512u, "1");
        mf.closeOpenMarkup();
    };
    const std::string common =
        "<Sequence name=\"1\"><String name=\"vendor-name\" value=\"Orvik\"/>"
        "<Enumerated name=\"system-status\" value=\"%s\"/><Array name=\"object-list\">"
        "<ObjectIdentifier name=\"object-list\" value=\"(device, 1)\"/></Array>"
        "<BitString name=\"status-flags\" value=\"%s\"/><Enumerated name=\"logging-type\" value=\"7\"/>"
        "<List name=\"log-buffer\"/><String name=\"proprietary-512\" value=\"1\"/></Sequence>";
    const auto with = [&common](const std::string& status, const std::string& flags)
    {
        std::string text = common;
        text.replace(text.find("%s"), 2, status);
        return text.replace(text.find("%s"), 2, flags);
    };
    EXPECT_EQ(with("0", "0101"), written<MarkupFactoryXML>(calls, false, false));
    EXPECT_EQ(with("operational", "fault;out-of-service"), written<MarkupFactoryXML>(calls, false, true));
}

TEST(MarkupFactory, DataTypesAndContainersWriteTheirMembers)
{
    const BACnetDeviceObjectPropertyReference withDevice(
        ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), PROP_PRESENT_VALUE, 3, ObjectIdentifier(OBJECT_DEVICE, 7));
    const BACnetDeviceObjectPropertyReference local(ObjectIdentifier(OBJECT_ANALOG_INPUT, 5),
                                                    PROP_PRESENT_VALUE);
    BACnetAddress address;
    address.setNetworkNumber(5);
    address.setMAC("0a:0b");
    const Proprietary::VendorOrvik::BACnetTrendLogLastUploaded position(
        BACnetDeviceObjectReference(ObjectIdentifier(OBJECT_DEVICE, 7), ObjectIdentifier(OBJECT_TRENDLOG, 3)),
        Poco::Timestamp(1700000000123456), 4711);
    ValueContainer single, array, page;
    single.setCharString("Hall <A> & \"B\"");
    ASSERT_TRUE(array.setText(BACNET_DT_REAL, BACNET_APPLICATION_TAG_NULL, "[1.5, null]", true));
    array.setStructure(BACNET_DTS_ARRAY);
    ASSERT_TRUE(page.setText(BACNET_DT_LOG_RECORD, BACNET_APPLICATION_TAG_NULL,
                             "[{2024-03-05 14:02:07.12, failure: property/unknown-property, 0b0100}]", true));
    const std::string xml = written<MarkupFactoryXML>(
        [&](MF& mf)
        {
            mf.markup(MF::BT_STRUCT, "root", MF::Options().open());
            withDevice.markupByPropertyIdentifier(mf, PROP_LOG_DEVICE_OBJECT_PROPERTY, false);
            local.markup(mf, "ref", false);
            address.markup(mf, "address", false);
            BACnetTimeStamp(17u).markup(mf, "stamp", false);
            position.markup(mf, "position", false);
            ValueContainer().markup(mf, "none", false, BACNET_DT_NULL);
            single.markup(mf, "single", false, BACNET_DT_NULL);
            array.markup(mf, "array", false, BACNET_DT_NULL);
            page.markup(mf, "values", false, BACNET_DT_NULL);
            mf.closeAllOpenMarkups();
        });
    EXPECT_EQ(
        xml,
        "<Sequence name=\"root\"><Sequence name=\"log-device-object-property\">"
        "<ObjectIdentifier name=\"object-identifier\" value=\"analog-input:5\"/>"
        "<Enumerated name=\"property-identifier\" value=\"present-value\"/>"
        "<Unsigned name=\"property-array-index\" value=\"3\"/>"
        "<ObjectIdentifier name=\"device-identifier\" value=\"device:7\"/></Sequence>"
        "<Sequence name=\"ref\"><ObjectIdentifier name=\"object-identifier\" value=\"analog-input:5\"/>"
        "<Enumerated name=\"property-identifier\" value=\"present-value\"/></Sequence>"
        "<Sequence name=\"address\"><Unsigned name=\"network-number\" value=\"5\"/>"
        "<OctetString name=\"mac-address\" value=\"0a0b\"/></Sequence><Choice name=\"stamp\">"
        "<Unsigned name=\"sequence-number\" value=\"17\"/></Choice><Sequence name=\"position\">"
        "<ObjectIdentifier name=\"device-identifier\" value=\"device:7\"/>"
        "<ObjectIdentifier name=\"object-identifier\" value=\"trend-log:3\"/>"
        "<String name=\"last-uploaded\" value=\"2023-11-14T22:13:20.123456Z\"/>"
        "<Unsigned name=\"last-sequence-number\" value=\"4711\"/></Sequence><Null name=\"none\"/>"
        "<String name=\"single\" value=\"Hall &lt;A&gt; &amp; &quot;B&quot;\"/><Array name=\"array\">"
        "<Real name=\"1\" value=\"1.5\"/><Null name=\"2\" value=\"null\"/></Array><List name=\"values\">"
        "<Sequence name=\"1\"><DateTime name=\"timestamp\" value=\"2024-03-05 14:02:07.12\"/>"
        "<Choice name=\"log-datum\"><String name=\"failure\" value=\"property/unknown-property\"/>"
        "</Choice><BitString name=\"status-flags\" value=\"0100\"/></Sequence></List></Sequence>");
}

/// Bytes as written, and the text the document must give back in XML and in JSON.
struct Text
{
    std::string raw, xml, json;
    Text() = default;
    Text(const std::string& text) : raw(text), xml(text), json(text) {}
    Text(const char* text) : Text(std::string(text)) {}
    Text(const std::string& raw, const std::string& xml, const std::string& json)
        : raw(raw), xml(xml), json(json)
    {
    }
    Text operator+(const Text& o) const { return {raw + o.raw, xml + o.xml, json + o.json}; }
};

const std::string FFFD = "\xEF\xBF\xBD";

// Pieces of names and values. No piece ends in an incomplete sequence or starts with a continuation byte
// that could complete one, so the expected text of a concatenation is the concatenation of the pieces'.
const std::vector<Text> PIECES = {
    "site-name",
    "a b",
    "\"'<>&",
    "&amp;]]></String>",
    "\\",
    "\\u0041{\"$base\":[",
    "$items",
    "\t\n\r\x7f",
    "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE2\x80\xA8",
    {std::string(1, '\0'), FFFD, std::string(1, '\0')},
    {"\x01\x1f", FFFD + FFFD, "\x01\x1f"},
    {"\xEF\xBF\xBE", FFFD, "\xEF\xBF\xBE"},
    {"caf\xE9 ", "caf" + FFFD + " ", "caf" + FFFD + " "},
    {"\xFF\x80", FFFD + FFFD, FFFD + FFFD},
    {"\xC3x\xE2\x82x\xF0\x9F\x98x", FFFD + "x" + FFFD + "x" + FFFD + "x",
     FFFD + "x" + FFFD + "x" + FFFD + "x"},
    {"\xC0\xAF\xED\xA0\x80", FFFD + FFFD + FFFD + FFFD + FFFD, FFFD + FFFD + FFFD + FFFD + FFFD},
    {"\xF4\x90\x80\x80", FFFD + FFFD + FFFD + FFFD, FFFD + FFFD + FFFD + FFFD}};

/// Value texts of typed base types with their JSON kind: 'n' number, 'b' boolean, 's' string.
using Typed = std::vector<std::pair<std::string, char>>;
const Typed INTEGERS = {{"17", 'n'},   {"-3", 'n'},  {"4294967295", 'n'},
                        {"0123", 's'}, {"1.5", 's'}, {"", 's'}};
const Typed REALS = {{"2.5", 'n'}, {"-0.25", 'n'}, {"100", 'n'}, {"NaN", 's'}, {"1e999", 's'}, {"+1", 's'}};
const Typed BOOLEANS = {{"true", 'b'}, {"false", 'b'}, {"maybe", 's'}};

/// One markup call and the calls inside it. For the property form (property set), baseType and name
/// hold what the writer derives from the datatype table.
struct Call
{
    MF::BaseType baseType;
    Text name, value;
    char jsonKind;
    bool open, startArray, withoutValue;
    Poco::UInt32 objectType, property;
    std::vector<Call> children;

    static Call leaf(MF::BaseType type, const Text& name, const Text& value, char kind = 's')
    {
        return {type, name, value, kind, false, false, false, 0, 0, {}};
    }
    static Call node(MF::BaseType type, const std::string& name, bool startArray, std::vector<Call> children)
    {
        return {type, Text(name), {}, 's', true, startArray, true, 0, 0, std::move(children)};
    }
    static Call prop(Poco::UInt32 object, Poco::UInt32 id, MF::BaseType type, const std::string& name,
                     const Text& value, char kind = 's', bool startArray = false)
    {
        return {type, Text(name), value, kind, false, startArray, false, object, id, {}};
    }
};

bool isCollection(MF::BaseType type)
{
    return type == MF::BT_LIST || type == MF::BT_ARRAY || type == MF::BT_SEQUENCE_OF;
}

class Generator
{
public:
    explicit Generator(unsigned seed) : _random(seed) {}

    Call document() { return container(MF::BT_STRUCT, text(), 0); }

    Text text()
    {
        Text text;
        for (std::size_t pieces = below(5); pieces > 0; --pieces)
            text = text + PIECES[below(PIECES.size())];
        return text;
    }

private:
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(_random); }
    bool chance(std::size_t percent) { return below(100) < percent; }
    std::pair<std::string, char> pick(const Typed& values) { return values[below(values.size())]; }

    Call container(MF::BaseType type, const Text& name, int depth)
    {
        static const MF::BaseType TYPES[] = {MF::BT_STRUCT, MF::BT_LIST,        MF::BT_ARRAY,
                                             MF::BT_CHOICE, MF::BT_SEQUENCE_OF, MF::BT_OBJECT};
        Call call{type, name, {}, 's', true, false, !chance(20), 0, 0, {}};
        call.value = call.withoutValue ? Text{} : text();
        for (std::size_t i = 0, count = depth > 3 ? 0 : below(6); i < count; ++i)
        {
            // Members of an object need distinct names, so property forms (fixed names) go into collections.
            const Text childName = isCollection(type) ? text() : text() + Text("#" + std::to_string(i));
            call.children.push_back(chance(35) ? container(TYPES[below(6)], childName, depth + 1)
                                    : isCollection(type) && chance(30) ? property()
                                                                       : leaf(childName));
            call.children.back().startArray = chance(15);
        }
        return call;
    }

    Call property()
    {
        const auto real = pick(REALS), enumerated = pick(INTEGERS);
        return chance(33)   ? Call::prop(8, 121, MF::BT_STRING, "vendor-name", text())
               : chance(50) ? Call::prop(0, 85, MF::BT_REAL, "present-value", Text(real.first), real.second)
                            : Call::prop(20, 197, MF::BT_ENUMERATED, "logging-type", Text(enumerated.first),
                                         enumerated.second);
    }

    Call leaf(const Text& name)
    {
        static const std::pair<MF::BaseType, const Typed*> TYPES[] = {
            {MF::BT_NULL, nullptr},        {MF::BT_STRING, nullptr},     {MF::BT_OCTET_STRING, nullptr},
            {MF::BT_BIT_STRING, nullptr},  {MF::BT_DATE, nullptr},       {MF::BT_BOOLEAN, &BOOLEANS},
            {MF::BT_REAL, &REALS},         {MF::BT_UNSIGNED, &INTEGERS}, {MF::BT_INTEGER, &INTEGERS},
            {MF::BT_ENUMERATED, &INTEGERS}};
        const auto& type = TYPES[below(10)];
        Call call = Call::leaf(type.first, name, {});
        call.withoutValue = chance(10);
        if (!call.withoutValue && type.second)
        {
            const auto value = pick(*type.second);
            call.value = Text(value.first);
            call.jsonKind = value.second;
        }
        else if (!call.withoutValue)
            call.value = text();
        return call;
    }

    std::mt19937 _random;
};

/// The trend log export as the pusher writes it: header elements, the gateway's device, collected devices
/// with a trend log and its channels, and record pages whose channels each carry the page's records.
Call trendLogDocument(unsigned seed)
{
    Generator random(seed);
    const auto device = [&](const std::string& instance, bool startArray, std::vector<Call> more)
    {
        std::vector<Call> children = {
            Call::prop(8, 112, MF::BT_ENUMERATED, "system-status", "operational"),
            Call::prop(8, 120, MF::BT_UNSIGNED, "vendor-identifier", "64701", 'n'),
            Call::prop(8, 77, MF::BT_STRING, "object-name", random.text()),
            Call::prop(8, 24, MF::BT_BOOLEAN, "daylight-savings-status", "false", 'b')};
        children.insert(children.end(), more.begin(), more.end());
        return Call::node(MF::BT_STRUCT, instance, startArray, children);
    };
    const auto channel = [&](const std::string& number, std::vector<Call> more)
    {
        std::vector<Call> children = {
            Call::leaf(MF::BT_OCTET_STRING, "unique-idetnifier", "0020000100000055"),
            Call::leaf(MF::BT_STRING, "device-name", random.text())};
        children.insert(children.end(), more.begin(), more.end());
        return Call::node(MF::BT_STRUCT, number, number == "1", children);
    };
    const Call log =
        Call::node(MF::BT_STRUCT, "1", false,
                   {Call::prop(20, 77, MF::BT_STRING, "object-name", random.text()),
                    Call::prop(20, 197, MF::BT_ENUMERATED, "logging-type", "0", 'n', true),
                    Call::node(MF::BT_ARRAY, "channels", false, {channel("1", {}), channel("2", {})})});
    std::vector<Call> records;
    for (int record = 1; record <= 10; ++record)
    {
        records.push_back(Call::node(MF::BT_STRUCT, std::to_string(record), false,
                                     {Call::leaf(MF::BT_DATE_TIME, "timestamp", "2026-12-06T09:15:00.000001"),
                                      Call::leaf(MF::BT_REAL, "real-value", "21.5", 'n')}));
    }
    const Call values = Call::node(MF::BT_LIST, "values", false, records);
    const Call loggers = Call::node(MF::BT_LIST, "loggers", false, {log});
    const Call page = Call::node(MF::BT_LIST, "1", false, {channel("1", {values}), channel("2", {values})});
    Call root = Call::node(MF::BT_STRUCT, "bacnet-2-cloud-trend-log", false,
                           {Call::leaf(MF::BT_STRING, "app-version", "150928A"),
                            Call::leaf(MF::BT_STRING, "site-name", random.text()),
                            Call::leaf(MF::BT_UNSIGNED, "parent-identifier", "17", 'n'),
                            Call::leaf(MF::BT_STRING, "ip-address", "10.0.0.7\n"),
                            Call::node(MF::BT_STRUCT, "app-device", false, {device("4194302", false, {})}),
                            Call::node(MF::BT_LIST, "devices", false,
                                       {device("100", true, {loggers}), device("200", false, {loggers})}),
                            Call::node(MF::BT_LIST, "tl-data", false, {page, page})});
    root.children[0].startArray = true;
    return root;
}

void emit(MF& mf, const Call& call, bool onLastPath, bool closeAllAtEnd)
{
    if (call.property != 0)
        mf.markup(call.objectType, call.property, call.value.raw,
                  MF::Options().open(call.open).startArray(call.startArray));
    else if (call.withoutValue)
        mf.markup(call.baseType, call.name.raw, MF::Options().open(call.open).startArray(call.startArray));
    else
        mf.markup(call.baseType, call.name.raw, call.value.raw,
                  MF::Options().open(call.open).startArray(call.startArray));
    for (std::size_t i = 0; i < call.children.size(); ++i)
        emit(mf, call.children[i], onLastPath && i + 1 == call.children.size(), closeAllAtEnd);
    if (call.open && !(onLastPath && closeAllAtEnd))
        mf.closeOpenMarkup();
}

std::string write(const Call& document, bool json, bool format, bool closeAllAtEnd)
{
    const auto calls = [&](MF& mf)
    {
        mf.header();
        emit(mf, document, true, closeAllAtEnd);
        mf.closeAllOpenMarkups();
        EXPECT_TRUE(mf.complete());
    };
    return json ? written<MarkupFactoryJSON>(calls, format) : written<MarkupFactoryXML>(calls, format);
}

/// The tree as the comparisons see it, on one line: Base(name=kind:value)[child;child;], strings escaped.
std::string describe(const std::string& base, const std::string& name, const std::string* value, char kind,
                     const std::vector<std::string>& children)
{
    std::string text = base + "(" + Poco::UTF8::escape(name);
    text += value ? std::string("=") + kind + ":" + Poco::UTF8::escape(*value) + ")" : ")";
    for (std::size_t i = 0; i < children.size(); ++i)
        text += (i == 0 ? "[" : "") + children[i] + (i + 1 == children.size() ? ";]" : ";");
    return text;
}

std::string expected(const Call& call, bool json)
{
    const auto readBack = [json](const Text& text) { return json ? text.json : text.xml; };
    const bool hasValue = (!call.open && call.baseType != MF::BT_NULL) || !call.value.raw.empty();
    const std::string value = readBack(call.value);
    std::vector<std::string> children;
    for (const Call& child : call.children)
        children.push_back(expected(child, json));
    return describe(MF::baseTypeName(call.baseType), readBack(call.name), hasValue ? &value : nullptr,
                    json ? call.jsonKind : 's', children);
}

/// The tree Poco's DOM parser reads from an XML document; throws when it is not well-formed.
std::string fromPoco(const Poco::XML::Element& element)
{
    std::vector<std::string> children;
    for (Poco::XML::Node* child = element.firstChild(); child; child = child->nextSibling())
    {
        if (child->nodeType() == Poco::XML::Node::ELEMENT_NODE)
            children.push_back(fromPoco(static_cast<const Poco::XML::Element&>(*child)));
    }
    const std::string value = element.getAttribute("value");
    return describe(element.nodeName(), element.getAttribute("name"),
                    element.hasAttribute("value") ? &value : nullptr, 's', children);
}

std::string fromPython(const Poco::JSON::Array& entry)
{
    std::vector<std::string> children;
    for (std::size_t i = 0; i < entry.getArray(4)->size(); ++i)
        children.push_back(fromPython(*entry.getArray(4)->getArray(static_cast<unsigned>(i))));
    const std::string value = entry.isNull(2) ? "" : entry.getElement<std::string>(2);
    return describe(entry.getElement<std::string>(0), entry.getElement<std::string>(1),
                    entry.isNull(2) ? nullptr : &value, entry.getElement<std::string>(3)[0], children);
}

/// The trees markup_check.py builds with Python's json module, one result per document.
Poco::JSON::Array::Ptr readWithPython(const std::vector<std::string>& documents)
{
    Poco::TemporaryFile folder;
    folder.createDirectories();
    Poco::Process::Args args{std::string(ORVIK_SOURCE_DIR) + "/tests/BACnet/markup_check.py"};
    for (std::size_t i = 0; i < documents.size(); ++i)
    {
        args.push_back(Poco::Path(folder.path(), std::to_string(i) + ".json").toString());
        Poco::FileOutputStream(args.back(), std::ios::binary) << documents[i];
    }
    Poco::Pipe output;
    Poco::ProcessHandle process = Poco::Process::launch("/usr/bin/python3", args, nullptr, &output, nullptr);
    Poco::PipeInputStream stream(output);
    std::string text;
    Poco::StreamCopier::copyToString(stream, text);
    EXPECT_EQ(0, process.wait());
    return Poco::JSON::Parser().parse(text).extract<Poco::JSON::Array::Ptr>();
}

}  // namespace

// Each format is read back by one independent reader: XML by Poco's DOM parser, JSON by Python's json
// module (all JSON documents in one run of it).
TEST(MarkupFuzz, EveryDocumentReadsBackAsWritten)
{
    std::vector<Call> documents = {trendLogDocument(7), trendLogDocument(8)};
    for (unsigned seed = 1; seed <= 120; ++seed)
        documents.push_back(Generator(seed).document());
    std::vector<std::string> jsonTexts, jsonExpected, jsonLabels;
    for (std::size_t i = 0; i < documents.size() * 4; ++i)
    {
        const bool json = i & 1, format = i & 2;
        const std::string label =
            "document " + std::to_string(i / 4) + (json ? " json" : " xml") + (format ? " formatted" : "");
        const std::string text = write(documents[i / 4], json, format, i % 3 == 0);
        if (json)
        {
            jsonTexts.push_back(text);
            jsonExpected.push_back(expected(documents[i / 4], true));
            jsonLabels.push_back(label);
            continue;
        }
        SCOPED_TRACE(label + "\n" + text);
        try
        {
            Poco::XML::DOMParser parser;
            Poco::AutoPtr<Poco::XML::Document> document = parser.parseString(text);
            EXPECT_EQ(expected(documents[i / 4], false), fromPoco(*document->documentElement()));
        }
        catch (const Poco::Exception& e)
        {
            ADD_FAILURE() << "Poco's parser refused the document: " << e.displayText();
        }
    }
    const Poco::JSON::Array::Ptr results = readWithPython(jsonTexts);
    ASSERT_EQ(jsonTexts.size(), results->size());
    for (std::size_t i = 0; i < jsonTexts.size(); ++i)
    {
        SCOPED_TRACE(jsonLabels[i] + "\n" + jsonTexts[i]);
        const Poco::JSON::Object::Ptr result = results->getObject(static_cast<unsigned>(i));
        ASSERT_FALSE(result->has("error")) << result->getValue<std::string>("error");
        EXPECT_EQ(jsonExpected[i], fromPython(*result->getArray("tree")));
    }
}
