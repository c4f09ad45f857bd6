// The markup writers' document shape, value spelling, document rules and property form, and the markup of
// the constructed datatypes and of value containers.

#include "ConsoleCapture.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <memory>
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
/// and a value in a character buffer (which must not be taken for the closeMarkup flag).
void writeShapes(MF& mf)
{
    char ipAddress[256] = "10.0.0.7\n";
    mf.markup(MF::BT_STRUCT, "root", false, false);
    mf.markup(MF::BT_STRING, "ip-address", ipAddress, true, false);
    mf.markup(MF::BT_NULL, "nothing", true, false);
    mf.markup(MF::BT_LIST, "empty", false, false);
    mf.closeOpenMarkup();
    mf.markup(MF::BT_ARRAY, "channels", false, false);
    mf.markup(MF::BT_STRUCT, "1", false, true);
    mf.markup(MF::BT_UNSIGNED, "$base", "5", true, false);
    mf.closeOpenMarkup();
    mf.markup(MF::BT_STRUCT, "1", true, false);
    mf.closeOpenMarkup();
    mf.markup(MF::BT_REAL, "first-item", "2.5", true, true);
    mf.markup(MF::BT_BOOLEAN, "later", "1", true, false);
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
        EXPECT_EQ(expected,
                  written<MarkupFactoryJSON>([&c](MF& mf) { mf.markup(c.type, "v", c.text, true, false); }));
    }
}

TEST(MarkupFactory, MetadataBecomesAttributesAndDefinitionsCarryNoValue)
{
    const auto calls = [](MF& mf)
    {
        mf.markup(MF::BT_REAL, "present-value", "1.5", true, false, 4, false, 31, true, false, "c&", "",
                  "Room \"1\"", "", "", "", "", "85");
    };
    EXPECT_EQ(
        "<Real name=\"present-value\" value=\"1.5\" error=\"31\" truncated=\"true\" comment=\"c&amp;\" "
        "displayName=\"Room &quot;1&quot;\" propertyIdentifier=\"85\"/>",
        written<MarkupFactoryXML>(calls));
    EXPECT_EQ(
        "{\"present-value\":{\"$base\":\"Real\",\"$value\":1.5,\"$error\":31,\"$truncated\":true,"
        "\"$comment\":\"c&\",\"$displayName\":\"Room \\\"1\\\"\",\"$propertyIdentifier\":\"85\"}}",
        written<MarkupFactoryJSON>(calls));
    EXPECT_EQ("<Real name=\"present-value\"/>", written<MarkupFactoryXML>(
                                                    [](MF& mf) {
                                                        mf.markup(MF::BT_REAL, "present-value", "1.5", true,
                                                                  false, 0, false, 0, false, true);
                                                    }));
}

TEST(MarkupFactory, DocumentRulesKeepTheOutputWellFormed)
{
    std::ostringstream out;
    {
        MarkupFactoryXML mf(out, false, false);
        EXPECT_THROW(mf.closeOpenMarkup(), Poco::IllegalStateException);
        mf.header();
        EXPECT_THROW(mf.header(), Poco::IllegalStateException);
        mf.markup(MF::BT_STRING, "only", "x", true, false);
        EXPECT_TRUE(mf.complete());
        EXPECT_THROW(mf.markup(MF::BT_STRING, "second", "y", true, false), Poco::IllegalStateException);
        EXPECT_NO_THROW(mf.closeAllOpenMarkups());
    }
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><String name=\"only\" value=\"x\"/>", out.str());

    // An unfinished document stays visibly unfinished: the destructor closes nothing.
    EXPECT_EQ("{\"root\":{\"$base\":\"Sequence\",\"tl-data\":{\"$base\":\"List\"",
              written<MarkupFactoryJSON>(
                  [](MF& mf)
                  {
                      mf.markup(MF::BT_STRUCT, "root", false, false);
                      mf.markup(MF::BT_LIST, "tl-data", false, false);
                  }));
}

TEST(MarkupFactory, FailedStreamIsReportedNotIgnored)
{
    for (const MF::HandOver handOver : {MF::HAND_OVER_EACH_CALL, MF::HAND_OVER_IN_CHUNKS})
    {
        std::ostringstream out;
        MarkupFactoryXML mf(out, false, false, handOver);
        mf.markup(MF::BT_STRUCT, "root", false, false);
        out.setstate(std::ios::badbit);
        EXPECT_THROW(mf.markup(MF::BT_STRING, "a", "b", true, false), Poco::IOException);
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
        mf.markup(MF::BT_STRUCT, "root", false, false);
        for (int i = 0; i < 3; ++i)
            mf.markup(MF::BT_STRING, "v", value, true, false);
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
        mf.markup(MF::BT_STRUCT, "1", false, false);
        mf.markup(8u, 121u, "Orvik", true, false);
        mf.markup(8u, 112u, "0", true, false);
        mf.markup(8u, 76u, "", false, false);
        mf.markup(8u, 76u, "(device, 1)", true, false, true);
        mf.closeOpenMarkup();
        mf.markup(20u, 111u, "0101", true, false);
        mf.markup(20u, 197u, "7", true, false);
        mf.markup(20u, 131u, "", true, false);
        mf.markup(20u, 512u, "1", true, false);
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
            mf.markup(MF::BT_STRUCT, "root", false, false);
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

}  // namespace
