// The stored text form: exact round trips of generated values of every datatype, hand-written texts, and
// malformed texts that must fail cleanly.

#include <gtest/gtest.h>

#include "Orvik_BACnet/ValueContainer.h"
#include "ValueGenerator.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;
using Orvik::BACnet::DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

namespace
{

constexpr int _ROUNDS = 400;

/// Reads `text` back as `dataType` and expects the same elements and structure.
void expectReadsBack(const ValueContainer& original, BACnetDataType dataType)
{
    const std::string text = original.getText();
    ValueContainer read;
    ASSERT_TRUE(read.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true)) << text;
    EXPECT_EQ(read.getBACnetPrimitives(), original.getBACnetPrimitives()) << text;
    EXPECT_EQ(read.getStructure(), original.getStructure()) << text;
    EXPECT_EQ(read.getText(), text);
}

}  // namespace

TEST(ValueTextTest, GeneratedValuesAndListsOfEveryDatatypeReadBackExactly)
{
    ValueGenerator generator(20260306);
    for (BACnetDataType dataType : ValueGenerator::holdableDataTypes())
    {
        ASSERT_EQ(generator.make(dataType).getDataType(), dataType) << "no generator for " << dataType;
        for (int round = 0; round < _ROUNDS; ++round)
        {
            expectReadsBack(ValueContainer(generator.make(dataType)), dataType);
            if (round % 4 != 0)
                continue;
            ValueContainer list;
            list.setValues(std::vector<BACnetValue>(), BACNET_DTS_LIST);
            for (std::size_t i = generator.upTo(12); i > 0; --i)
            {
                // priority-array style NULL elements among primitives
                const bool null = BACnetDataTypeInfo::isPrimitive(dataType) && generator.chance(5);
                list.append(null ? BACnetValue() : generator.make(dataType));
            }
            expectReadsBack(list, dataType);
        }
    }
}

TEST(ValueTextTest, UploadPositionsKeepMicrosecondsAndReferencesKeepTheirDevice)
{
    ValueGenerator generator(4711);
    std::vector<BACnetTrendLogLastUploaded> positions;
    std::vector<BACnetDeviceObjectReference> references;
    for (int i = 0; i < 200; ++i)
    {
        positions.push_back(
            generator.make(BACNET_DT_TREND_LOG_LAST_UPLOADED).get<BACnetTrendLogLastUploaded>());
        references.push_back(
            generator.make(BACNET_DT_DEVICE_OBJECT_REFERENCE).get<BACnetDeviceObjectReference>());
    }
    ValueContainer stored;
    stored.setValues(positions);
    ValueContainer read;
    ASSERT_TRUE(
        read.setText(BACNET_DT_TREND_LOG_LAST_UPLOADED, BACNET_APPLICATION_TAG_NULL, stored.getText(), true));
    std::vector<BACnetTrendLogLastUploaded> readPositions;
    EXPECT_EQ(read.getValues(readPositions), positions);

    stored.setValues(references);
    ASSERT_TRUE(
        read.setText(BACNET_DT_DEVICE_OBJECT_REFERENCE, BACNET_APPLICATION_TAG_NULL, stored.getText(), true));
    std::vector<BACnetDeviceObjectReference> readReferences;
    EXPECT_EQ(read.getValues(readReferences), references);
}

TEST(ValueTextTest, HandWrittenTextsReadAsDocumented)
{
    ValueContainer value;
    ASSERT_TRUE(value.setText(BACNET_DT_CHARACTER_STRING, BACNET_APPLICATION_TAG_NULL, " My Site ", true));
    EXPECT_EQ(value.getCharString(), " My Site ");  // raw text is taken as written

    ASSERT_TRUE(value.setText(
        BACNET_DT_TREND_LOG_LAST_UPLOADED, BACNET_APPLICATION_TAG_NULL,
        "[ {device:7/trend-log:3}, {device:7/trend-log:4, 2024-03-05T14:03:07.5Z, 17} ]", true));
    std::vector<BACnetTrendLogLastUploaded> positions;
    value.getValues(positions);
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions[0].getTimeStamp(), Poco::Timestamp(0));
    EXPECT_EQ(positions[0].getDeviceInstance(), 7u);
    EXPECT_EQ(positions[0].getObjectIdentifier(), ObjectIdentifier(OBJECT_TREND_LOG, 3));
    EXPECT_EQ(positions[1].getTimeStamp().epochMicroseconds() % 1000000, 500000);
    EXPECT_EQ(positions[0].getSequenceNumber(), 0u);
    EXPECT_EQ(positions[1].getSequenceNumber(), 17u);
    EXPECT_EQ(value.getText(),
              "[{device:7/trend-log:3, 1970-01-01T00:00:00.000000Z}, "
              "{device:7/trend-log:4, 2024-03-05T14:03:07.500000Z, 17}]");

    ASSERT_TRUE(value.setText(BACNET_DT_DATE, BACNET_APPLICATION_TAG_NULL, "2024-03-05", false));
    EXPECT_EQ(value.getDate(), Date(2024, 3, 5, 2));  // weekday computed: a Tuesday
    ASSERT_TRUE(value.setText(BACNET_DT_ANY, BACNET_APPLICATION_TAG_REAL, "21.5", true));
    EXPECT_FLOAT_EQ(value.getReal(), 21.5f);
    ASSERT_TRUE(value.setText(BACNET_DT_BOOLEAN, BACNET_APPLICATION_TAG_NULL, "TRUE", false));
    EXPECT_TRUE(value.getBool());
    ASSERT_TRUE(value.setText(BACNET_DT_LOG_RECORD, BACNET_APPLICATION_TAG_NULL,
                              "{2024-03-05 14:03:07.12, failure: property/unknown-property, 0b0100}", false));
    const BACnetLogRecord& record = value.at(0).get<BACnetLogRecord>();
    EXPECT_EQ(record.getErrorCode(), ERROR_CODE_UNKNOWN_PROPERTY);
    EXPECT_TRUE(record.getStatusFlags().getBit(1));

    ASSERT_TRUE(value.setText(BACNET_DT_REAL, BACNET_APPLICATION_TAG_NULL, "", true));
    EXPECT_TRUE(value.isNull());  // empty text: no value
    EXPECT_EQ(value.getText(), "");
}

TEST(ValueTextTest, StringsThatLookLikeSyntaxAreQuotedAndReadBack)
{
    for (const std::string text : {"", "null", "[1]", "\"x\"", "a\nb", "\xff\xfe", "tab\there"})
    {
        ValueContainer value;
        value.setCharString(text);
        ValueContainer read;
        ASSERT_TRUE(
            read.setText(BACNET_DT_CHARACTER_STRING, BACNET_APPLICATION_TAG_NULL, value.getText(), true))
            << value.getText();
        EXPECT_EQ(read.getCharString(), text);
        EXPECT_EQ(value.getText()[0], '"');
    }
}

TEST(ValueTextTest, MalformedTextsFailWithNoValue)
{
    struct Case
    {
        BACnetDataType dataType;
        const char* text;
    };
    const Case cases[] = {
        {BACNET_DT_UNSIGNED, "18446744073709551616"},  // 2^64
        {BACNET_DT_UNSIGNED, "-1"},
        {BACNET_DT_SIGNED, "9223372036854775808"},
        {BACNET_DT_REAL, "1e39"},
        {BACNET_DT_REAL, "21,5"},
        {BACNET_DT_ENUMERATED, "4294967296"},
        {BACNET_DT_BOOLEAN, "yes"},
        {BACNET_DT_UNSIGNED, "[1, 2"},
        {BACNET_DT_UNSIGNED, "[1,,2]"},
        {BACNET_DT_UNSIGNED, "[[1]]"},
        {BACNET_DT_UNSIGNED, "1]"},
        {BACNET_DT_UNSIGNED, "1 2"},
        {BACNET_DT_CHARACTER_STRING, "\"open"},
        {BACNET_DT_CHARACTER_STRING, "\"bad \\q escape\""},
        {BACNET_DT_CHARACTER_STRING, "\"\\x4\""},
        {BACNET_DT_CHARACTER_STRING, "caf\xe9"},       // Latin-1, not UTF-8
        {BACNET_DT_CHARACTER_STRING, "\xed\xa0\x80"},  // surrogate
        {BACNET_DT_OCTET_STRING, "0xabc"},
        {BACNET_DT_BIT_STRING, "0b012"},
        {BACNET_DT_DATE, "2024-03"},
        {BACNET_DT_DATE, "2024-03-256"},
        {BACNET_DT_TIME, "14:03"},
        {BACNET_DT_OBJECT_IDENTIFIER, "analog-input:4194304"},
        {BACNET_DT_OBJECT_IDENTIFIER, "no-such-type:1"},
        {BACNET_DT_OBJECT_IDENTIFIER, "1024:1"},
        {BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE, "analog-input:1.present-value[4294967295]"},
        {BACNET_DT_DEVICE_OBJECT_REFERENCE, "device:7/"},
        {BACNET_DT_ADDRESS, "65536/"},
        {BACNET_DT_ADDRESS, "0/01:02:03:04:05:06:07:08"},
        {BACNET_DT_LOG_RECORD, "{2024-03-05 14:03:07.12, any-value: 1}"},
        {BACNET_DT_LOG_RECORD, "{2024-03-05 14:03:07.12, real-value: 1"},
        {BACNET_DT_TREND_LOG_LAST_UPLOADED, "{device:7/trend-log:3, 2024-02-30T00:00:00Z}"},
        {BACNET_DT_TREND_LOG_LAST_UPLOADED, "{device:7/trend-log:3, 2024-03-05T14:03:07.1234567Z}"},
        {BACNET_DT_TREND_LOG_LAST_UPLOADED, "{device:7/trend-log:3"},
        {BACNET_DT_ACTION_LIST, "null"},  // a datatype a container cannot hold
        {BACNET_DT_ANY, "1"},             // ANY without a primitive tag
    };
    for (const Case& c : cases)
    {
        ValueContainer value;
        value.setUInt(5);
        EXPECT_FALSE(value.setText(c.dataType, BACNET_APPLICATION_TAG_NULL, c.text, true)) << c.text;
        EXPECT_TRUE(value.isNull()) << c.text;
        EXPECT_EQ(value.getDataType(), c.dataType);
        EXPECT_EQ(value.getUInt(), 0u);
    }
    ValueContainer value;
    EXPECT_FALSE(
        value.setText(BACNET_DT_UNSIGNED, BACNET_APPLICATION_TAG_NULL, "[1, 2]", false));  // no list allowed
}

TEST(ValueTextTest, MutatedTextsNeverBreakTheReader)
{
    // Truncations and byte changes of valid texts either fail with no value or read a value whose own
    // text reads back unchanged.
    ValueGenerator generator(99);
    for (BACnetDataType dataType : ValueGenerator::holdableDataTypes())
    {
        for (int round = 0; round < 60; ++round)
        {
            ValueContainer list;
            for (std::size_t i = 0; i < 1 + generator.upTo(3); ++i)
            {
                list.append(generator.make(dataType));
            }
            std::string text = list.getText();
            if (generator.chance(2))
            {
                text.resize(generator.upTo(text.size()));
            }
            else if (!text.empty())
            {
                text[generator.upTo(text.size() - 1)] = static_cast<char>(generator.rng()() & 0xFF);
            }
            ValueContainer read;
            if (!read.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true))
            {
                EXPECT_TRUE(read.isNull()) << text;
                continue;
            }
            ValueContainer again;
            ASSERT_TRUE(again.setText(dataType, BACNET_APPLICATION_TAG_NULL, read.getText(), true)) << text;
            EXPECT_EQ(again.getBACnetPrimitives(), read.getBACnetPrimitives()) << text;
        }
    }
}
