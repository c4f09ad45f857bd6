#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"
#include "ScopedTimeZone.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/DateTimeParser.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/LocalDateTime.h>
#include <gtest/gtest.h>

#include <string>

using namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT;

namespace
{

Poco::JSON::Object::Ptr parsedData(const std::string& text)
{
    Poco::JSON::Parser parser;
    return parser.parse(text).extract<Poco::JSON::Object::Ptr>()->getObject("d");
}

}  // namespace

TEST(WatsonEventTextTest, ValuesAreValidJsonWhateverTheNamesAndTexts)
{
    const std::string awkward = std::string("Hall \"A\\1\"\n\t\x01 caf\xc3\xa9 ") + "\xff\xfe";
    const std::string text =
        EventText::values(awkward, {{"present-value", "21.5"}, {"status-flags", awkward}});
    const auto d = parsedData(text);
    ASSERT_EQ(2u, d->size());
    EXPECT_EQ("21.5",
              d->getValue<std::string>(std::string("Hall \"A\\1\"\n\t\x01 caf\xc3\xa9 \xc3\xbf\xc3\xbe") +
                                       "_present-value"));
    EXPECT_EQ(std::string::npos, text.find('\n'));

    EXPECT_EQ(
        "{\"d\":{\"Hall_present-value\":\"21.5\",\"Hall_status-flags\":"
        "\"0b0000\"}}",
        EventText::values("Hall", {{"present-value", "21.5"}, {"status-flags", "0b0000"}}));
    EXPECT_EQ("{\"d\":{}}", EventText::values("Hall", {}));
}

TEST(WatsonEventTextTest, BacnetWsAnswersEmbedOnlyCompleteJsonObjectsAndStrings)
{
    EXPECT_EQ("{\"a\":[1,2]}", EventText::bacnetWsAnswer("{\"a\":[1,2]}"));
    EXPECT_EQ("\"done\"", EventText::bacnetWsAnswer("\"done\""));
    EXPECT_EQ("\"\"", EventText::bacnetWsAnswer(""));
    EXPECT_EQ("\"42\"", EventText::bacnetWsAnswer("42"));
    EXPECT_EQ("\"OK\"", EventText::bacnetWsAnswer("OK"));
    EXPECT_EQ("\"[1,2]\"", EventText::bacnetWsAnswer("[1,2]"));
    for (const std::string broken :
         {"{\"a\":", "{\"a\":1} trailing", "\"open", "{\"a\":\"\xff\"}", "\"say \"hi\"\""})
    {
        const std::string reply = EventText::bacnetWsReply(EventText::bacnetWsAnswer(broken));
        EXPECT_NO_THROW(parsedData(reply)) << reply;
        EXPECT_EQ(broken.substr(0, 2), parsedData(reply)->getValue<std::string>("ws").substr(0, 2)) << reply;
    }
    EXPECT_EQ("{\"d\":{\"ws\":{\"a\":1}}}", EventText::bacnetWsReply("{\"a\":1}"));
    const auto failure = parsedData(EventText::bacnetWsFailure("Connection refused: \"localhost\""));
    EXPECT_EQ("Connection refused: \"localhost\"", failure->getValue<std::string>("error"));
    EXPECT_FALSE(failure->has("ws"));
}

TEST(WatsonEventTextTest, WatsonKeyStringFormHasExactlyThreeTabSeparatedFields)
{
    const DataWatsonKey key("0005-X", "Boiler", "Hall");
    EXPECT_EQ("0005-X\tBoiler\tHall", key.getKey());
    const DataWatsonKey back(key.getKey());
    EXPECT_EQ("0005-X", back.deviceType);
    EXPECT_EQ("Boiler", back.deviceId);
    EXPECT_EQ("Hall", back.propertyId);

    const DataWatsonKey emptyName("t\tid\t");
    EXPECT_EQ("id", emptyName.deviceId);
    EXPECT_EQ("", emptyName.propertyId);
    EXPECT_EQ(" a ", DataWatsonKey(" a \t\t").deviceType);
    for (const std::string wrong : {"t\tid", "t\ti\tp\tx", "", "no tabs"})
    {
        try
        {
            DataWatsonKey parsed(wrong);
            ADD_FAILURE() << "accepted: " << wrong;
        }
        catch (const Poco::InvalidArgumentException& error)
        {
            EXPECT_EQ("Wrong nr. of items in Watson key", error.message());
        }
    }
}

TEST(WatsonEventTextTest, IsoTimeIsTheLocalTimeWithItsOffsetAsPublishedBefore)
{
    const Orvik::Test::ScopedTimeZone central("CET-1CEST,M3.5.0,M10.5.0/3");
    int tzd = 0;
    EXPECT_EQ(EventText::isoTime(Poco::DateTimeParser::parse("2026-03-05T13:03:07.120Z", tzd).timestamp()),
              "2026-03-05T14:03:07.120+01:00");
    // Peers read what Poco's local time formatting gave: the same text in zones east and west, with and
    // without daylight saving, before the epoch, and on both sides of a change.
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "IST-5:30", "EST5EDT,M3.2.0,M11.1.0"})
    {
        const Orvik::Test::ScopedTimeZone scoped(zone);
        for (const char* utc :
             {"2026-01-15T23:59:59.999Z", "2026-07-01T00:00:00.001Z", "1969-12-31T23:59:59.500Z",
              "2026-03-29T00:59:59.000Z", "2026-03-29T01:00:00.000Z"})
        {
            const Poco::Timestamp time = Poco::DateTimeParser::parse(utc, tzd).timestamp();
            EXPECT_EQ(EventText::isoTime(time),
                      Poco::DateTimeFormatter::format(Poco::LocalDateTime(time), "%Y-%m-%dT%H:%M:%S.%i%z"))
                << zone << " " << utc;
        }
    }
}
