// The markup writers' document shape, value spelling, document rules and property form.

#include "MarkupTestTree.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <sstream>

using Orvik::BACnet::WS::MarkupFactory;
using Orvik::BACnet::WS::MarkupFactoryJSON;
using Orvik::BACnet::WS::MarkupFactoryXML;

namespace
{

/// A small document touching every placement: members, a startArray switch, a collection, "$" names.
void writeShapes(MarkupFactory& mf)
{
    mf.markup(MarkupFactory::BT_STRUCT, "root", false, false);
    mf.markup(MarkupFactory::BT_STRING, "site-name", "", true, false);
    mf.markup(MarkupFactory::BT_NULL, "nothing", true, false);
    mf.markup(MarkupFactory::BT_LIST, "empty", false, false);
    mf.closeOpenMarkup();
    mf.markup(MarkupFactory::BT_ARRAY, "channels", false, false);
    mf.markup(MarkupFactory::BT_STRUCT, "1", false, true);
    mf.markup(MarkupFactory::BT_UNSIGNED, "$base", "5", true, false);
    mf.closeOpenMarkup();
    mf.markup(MarkupFactory::BT_STRUCT, "1", true, false);
    mf.closeOpenMarkup();
    mf.markup(MarkupFactory::BT_REAL, "first-item", "2.5", true, true);
    mf.markup(MarkupFactory::BT_BOOLEAN, "later", "1", true, false);
    mf.closeAllOpenMarkups();
}

template <class Writer>
std::string written(void (*calls)(MarkupFactory&), bool format = false, bool textExtend = false)
{
    std::ostringstream out;
    Writer mf(out, format, textExtend);
    calls(mf);
    return out.str();
}

TEST(MarkupFactory, XmlNamesElementsByBaseTypeAndKeepsStartArrayOut)
{
    EXPECT_EQ(
        "<Sequence name=\"root\"><String name=\"site-name\" value=\"\"/><Null name=\"nothing\"/>"
        "<List name=\"empty\"></List><Array name=\"channels\"><Sequence name=\"1\">"
        "<Unsigned name=\"$base\" value=\"5\"/></Sequence><Sequence name=\"1\"/></Array>"
        "<Real name=\"first-item\" value=\"2.5\"/><Boolean name=\"later\" value=\"1\"/></Sequence>",
        written<MarkupFactoryXML>(writeShapes));
}

TEST(MarkupFactory, JsonPlacesMembersAndItemsAsDocumented)
{
    EXPECT_EQ(
        "{\"root\":{\"$base\":\"Sequence\","
        "\"site-name\":{\"$base\":\"String\",\"$value\":\"\"},"
        "\"nothing\":{\"$base\":\"Null\"},"
        "\"empty\":{\"$base\":\"List\",\"$items\":[]},"
        "\"channels\":{\"$base\":\"Array\",\"$items\":["
        "{\"$name\":\"1\",\"$base\":\"Sequence\",\"$items\":[{\"$name\":\"$base\",\"$base\":\"Unsigned\",\"$"
        "value\":5}]},"
        "{\"$name\":\"1\",\"$base\":\"Sequence\"}]},"
        "\"$items\":[{\"$name\":\"first-item\",\"$base\":\"Real\",\"$value\":2.5},"
        "{\"$name\":\"later\",\"$base\":\"Boolean\",\"$value\":true}]}}",
        written<MarkupFactoryJSON>(writeShapes));
}

TEST(MarkupFactory, FormatIndentsAndCompactHasNoWhiteSpace)
{
    for (const std::string& text :
         {written<MarkupFactoryXML>(writeShapes, true), written<MarkupFactoryJSON>(writeShapes, true)})
    {
        EXPECT_NE(std::string::npos, text.find("\n    "));
        EXPECT_EQ('\n', text.back());
    }
    EXPECT_EQ(std::string::npos, written<MarkupFactoryJSON>(writeShapes).find_first_of("\n "));
    EXPECT_EQ(MarkupTest::describe(MarkupTest::readJson(written<MarkupFactoryJSON>(writeShapes))),
              MarkupTest::describe(MarkupTest::readJson(written<MarkupFactoryJSON>(writeShapes, true))));
}

TEST(MarkupFactory, JsonValuesAreNumbersAndBooleansOnlyWhenTheyAreValidJson)
{
    const struct
    {
        MarkupFactory::BaseType type;
        std::string text, literal;
    } cases[] = {{MarkupFactory::BT_UNSIGNED, "4294967295", "4294967295"},
                 {MarkupFactory::BT_INTEGER, "-60", "-60"},
                 {MarkupFactory::BT_UNSIGNED, "007", "\"007\""},
                 {MarkupFactory::BT_UNSIGNED, "1.5", "\"1.5\""},
                 {MarkupFactory::BT_UNSIGNED, "1234567890123456789", "\"1234567890123456789\""},
                 {MarkupFactory::BT_ENUMERATED, "3", "3"},
                 {MarkupFactory::BT_ENUMERATED, "operational", "\"operational\""},
                 {MarkupFactory::BT_REAL, "-1.25E-3", "-1.25E-3"},
                 {MarkupFactory::BT_REAL, "1e999", "\"1e999\""},
                 {MarkupFactory::BT_REAL, "nan", "\"nan\""},
                 {MarkupFactory::BT_DOUBLE, "", "\"\""},
                 {MarkupFactory::BT_BOOLEAN, "TRUE", "true"},
                 {MarkupFactory::BT_BOOLEAN, "0", "false"},
                 {MarkupFactory::BT_BOOLEAN, "yes", "\"yes\""},
                 {MarkupFactory::BT_STRING, "17", "\"17\""},
                 {MarkupFactory::BT_OCTET_STRING, "true", "\"true\""}};
    for (const auto& c : cases)
    {
        std::ostringstream out;
        MarkupFactoryJSON(out, false, false).markup(c.type, "v", c.text, true, false);
        EXPECT_EQ("{\"v\":{\"$base\":\"" + std::string(MarkupFactory::baseTypeName(c.type)) +
                      "\",\"$value\":" + c.literal + "}}",
                  out.str());
    }
}

TEST(MarkupFactory, CharacterBufferIsWrittenAsTheValue)
{
    char ipAddress[256] = "10.0.0.7\n";
    std::ostringstream out;
    MarkupFactoryXML(out, false, false)
        .markup(MarkupFactory::BT_STRING, "ip-address", ipAddress, true, false);
    EXPECT_EQ("<String name=\"ip-address\" value=\"10.0.0.7&#10;\"/>", out.str());
}

TEST(MarkupFactory, MetadataBecomesAttributesAndDefinitionsCarryNoValue)
{
    const auto calls = [](MarkupFactory& mf)
    {
        mf.markup(MarkupFactory::BT_REAL, "present-value", "1.5", true, false, 4, false, 31, true, false,
                  "c&", "e", "Room \"1\"", "REAL", "100", "0", "3", "85", "true", "d");
    };
    EXPECT_EQ(
        "<Real name=\"present-value\" value=\"1.5\" error=\"31\" truncated=\"true\" comment=\"c&amp;\" "
        "errorText=\"e\" displayName=\"Room &quot;1&quot;\" type=\"REAL\" maximum=\"100\" minimum=\"0\" "
        "contextTag=\"3\" propertyIdentifier=\"85\" writable=\"true\" description=\"d\"/>",
        written<MarkupFactoryXML>(calls));
    EXPECT_EQ(
        "{\"present-value\":{\"$base\":\"Real\",\"$value\":1.5,\"$error\":31,\"$truncated\":true,"
        "\"$comment\":\"c&\",\"$errorText\":\"e\",\"$displayName\":\"Room \\\"1\\\"\",\"$type\":\"REAL\","
        "\"$maximum\":\"100\",\"$minimum\":\"0\",\"$contextTag\":\"3\",\"$propertyIdentifier\":\"85\","
        "\"$writable\":\"true\",\"$description\":\"d\"}}",
        written<MarkupFactoryJSON>(calls));
    const auto definition = [](MarkupFactory& mf)
    { mf.markup(MarkupFactory::BT_REAL, "present-value", "1.5", true, false, 0, false, 0, false, true); };
    EXPECT_EQ("<Real name=\"present-value\"/>", written<MarkupFactoryXML>(definition));
}

TEST(MarkupFactory, DocumentRulesKeepTheOutputWellFormed)
{
    std::ostringstream out;
    {
        MarkupFactoryXML mf(out, false, false);
        EXPECT_THROW(mf.closeOpenMarkup(), Poco::IllegalStateException);
        mf.header();
        EXPECT_THROW(mf.header(), Poco::IllegalStateException);
        mf.markup(MarkupFactory::BT_STRING, "only", "x", true, false);
        EXPECT_TRUE(mf.complete());
        EXPECT_THROW(mf.markup(MarkupFactory::BT_STRING, "second", "y", true, false),
                     Poco::IllegalStateException);
        EXPECT_NO_THROW(mf.closeAllOpenMarkups());
    }
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?><String name=\"only\" value=\"x\"/>", out.str());
    EXPECT_NO_THROW(MarkupTest::readXml(out.str()));
}

TEST(MarkupFactory, AnUnfinishedDocumentStaysUnfinished)
{
    std::ostringstream out;
    {
        MarkupFactoryJSON mf(out, false, false);
        mf.markup(MarkupFactory::BT_STRUCT, "root", false, false);
        mf.markup(MarkupFactory::BT_LIST, "tl-data", false, false);
        EXPECT_EQ(2u, mf.openMarkupCount());
    }
    EXPECT_EQ("{\"root\":{\"$base\":\"Sequence\",\"tl-data\":{\"$base\":\"List\"", out.str());
}

TEST(MarkupFactory, FailedStreamIsReportedNotIgnored)
{
    std::ostringstream out;
    MarkupFactoryXML mf(out, false, false);
    mf.markup(MarkupFactory::BT_STRUCT, "root", false, false);
    out.setstate(std::ios::badbit);
    EXPECT_THROW(mf.markup(MarkupFactory::BT_STRING, "a", "b", true, false), Poco::IOException);
    EXPECT_THROW(mf.closeAllOpenMarkups(), Poco::IOException);
}

// Property numbers: device 8, trend-log 20; system-status 112, vendor-name 121, object-list 76,
// status-flags 111, logging-type 197, log-buffer 131, the vendor's own 512.
void writeProperties(MarkupFactory& mf)
{
    mf.markup(MarkupFactory::BT_STRUCT, "1", false, false);
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
}

TEST(MarkupFactory, PropertyFormTakesNameAndBaseTypeFromTheDatatypeTable)
{
    EXPECT_EQ(
        "<Sequence name=\"1\"><String name=\"vendor-name\" value=\"Orvik\"/>"
        "<Enumerated name=\"system-status\" value=\"0\"/><Array name=\"object-list\">"
        "<ObjectIdentifier name=\"object-list\" value=\"(device, 1)\"/></Array>"
        "<BitString name=\"status-flags\" value=\"0101\"/><Enumerated name=\"logging-type\" value=\"7\"/>"
        "<List name=\"log-buffer\"/><String name=\"proprietary-512\" value=\"1\"/></Sequence>",
        written<MarkupFactoryXML>(writeProperties, false, false));
}

TEST(MarkupFactory, PropertyFormNamesEnumerationsAndBitsWhenAsked)
{
    const std::string text = written<MarkupFactoryXML>(writeProperties, false, true);
    EXPECT_NE(std::string::npos, text.find("<Enumerated name=\"system-status\" value=\"operational\"/>"));
    EXPECT_NE(std::string::npos,
              text.find("<BitString name=\"status-flags\" value=\"fault;out-of-service\"/>"));
    EXPECT_NE(std::string::npos,
              text.find("<Enumerated name=\"logging-type\" value=\"7\"/>"));  // no such name
}

}  // namespace
