// ValueContainer: merging, getters and their conversions, the display form, the last time stamp of a
// log buffer.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "Orvik_BACnet/ValueContainer.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;

namespace
{

ValueContainer unsignedList(std::initializer_list<std::uint64_t> numbers, BACNET_DATATYPE_STRUCTURE structure)
{
    ValueContainer list;
    for (std::uint64_t n : numbers)
    {
        list.append(BACnetValue::makeUnsigned(n));
    }
    list.setStructure(structure);
    return list;
}

ValueContainer unsignedValue(std::uint64_t n)
{
    ValueContainer value;
    value.setUInt(n);
    return value;
}

BACnetLogRecord realRecord(int minute, float value)
{
    BACnetLogRecord record;
    record.setDateTime(
        BACnetDateTime(Date(2024, 3, 5, 2), Time(14, static_cast<std::uint8_t>(minute), 7, 12)));
    record.setReal(value);
    return record;
}

}  // namespace

TEST(ValueContainerTest, MergeReportsWhetherAnythingChanged)
{
    ValueContainer array = unsignedList({1, 2, 3}, BACNET_DTS_ARRAY);
    EXPECT_FALSE(array.merge(unsignedValue(2), 2));  // same element
    EXPECT_TRUE(array.merge(unsignedValue(9), 2));
    EXPECT_EQ(array.getText(), "[1, 9, 3]");
    EXPECT_TRUE(array.merge(unsignedValue(4), 4));   // one past the end appends
    EXPECT_FALSE(array.merge(unsignedValue(6), 6));  // a gap is refused
    EXPECT_FALSE(array.merge(ValueContainer(), 1));  // nothing to merge
    ValueContainer text;
    text.setCharString("x");
    EXPECT_FALSE(array.merge(text, 1));  // another datatype
    EXPECT_EQ(array.getText(), "[1, 9, 3, 4]");

    EXPECT_TRUE(array.merge(unsignedValue(2), 0));  // index 0 sets the element count
    EXPECT_EQ(array.getText(), "[1, 9]");
    EXPECT_FALSE(array.merge(unsignedValue(2), 0));
    EXPECT_TRUE(array.merge(unsignedValue(3), 0));
    EXPECT_EQ(array.getText(), "[1, 9, 0]");

    const ValueContainer replacement = unsignedList({7}, BACNET_DTS_LIST);
    EXPECT_TRUE(array.merge(replacement, BACNET_ARRAY_ALL));
    EXPECT_EQ(array, replacement);
    EXPECT_FALSE(array.merge(replacement, BACNET_ARRAY_ALL));

    ValueContainer none;  // a parameter without stored value
    EXPECT_FALSE(none.merge(unsignedValue(5), 2));
    EXPECT_TRUE(none.merge(unsignedValue(5), 1));
    EXPECT_EQ(none.getUInt(), 5u);
}

TEST(ValueContainerTest, GettersConvertAndSaturateNumbersAndRefuseOtherDatatypes)
{
    ValueContainer value;
    EXPECT_EQ(value.getUInt(), 0u);  // no value reads as NULL
    EXPECT_EQ(value.getCharString(), "");
    EXPECT_EQ(value.getDate().year, 0);

    value.setInt(-5);
    EXPECT_EQ(value.getUInt(), 0u);  // saturates
    EXPECT_EQ(value.getInt(), -5);
    EXPECT_TRUE(value.getBool());
    value.setUInt(5000000000ull);
    EXPECT_EQ(value.getUInt(), 0xFFFFFFFFu);
    EXPECT_EQ(value.getInt(), 2147483647);
    value.setReal(21.75f);
    EXPECT_EQ(value.getUInt(), 21u);
    EXPECT_DOUBLE_EQ(value.getDouble(), 21.75);
    value.setEnum(3);
    EXPECT_EQ(value.getEnum(), 3u);
    EXPECT_EQ(value.getAppTag(), BACNET_APPLICATION_TAG_ENUMERATED);
    // floating values saturate, NaN reads as zero
    value.setDouble(std::nan(""));
    EXPECT_EQ(value.getUInt(), 0u);
    EXPECT_EQ(value.getInt(), 0);
    EXPECT_EQ(value.getText(), "nan");
    value.setReal(-std::numeric_limits<float>::infinity());
    EXPECT_EQ(value.getInt(), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(value.getUInt(), 0u);
    value.setDouble(1e300);
    EXPECT_EQ(value.getUInt64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_TRUE(std::isinf(value.getReal()));

    value.setCharString("abc");
    EXPECT_THROW(value.getUInt(), Poco::BadCastException);
    BitString bits(2);
    EXPECT_THROW(value.getBitString(bits), Poco::BadCastException);
    std::vector<BACnetDeviceObjectReference> references;
    EXPECT_THROW(value.getValues(references), Poco::BadCastException);
}

TEST(ValueContainerTest, BitStringIsCopiedIntoTheCallersSize)
{
    ValueContainer value;
    ASSERT_TRUE(value.setText(BACNET_DT_BIT_STRING, BACNET_APPLICATION_TAG_NULL, "0b101", true));
    BitString two(2);
    value.getBitString(two);
    EXPECT_EQ(two.getBitCount(), 2u);
    EXPECT_TRUE(two.getBit(0));
    EXPECT_FALSE(two.getBit(1));
    BitString one(1);
    value.getBitString(one);
    EXPECT_EQ(one.getOctets().getUInt32(0, true), 1u);
}

TEST(ValueContainerTest, DisplayFormJoinsElementsWithTheSeparator)
{
    ValueContainer value;
    ASSERT_TRUE(
        value.setText(BACNET_DT_CHARACTER_STRING, BACNET_APPLICATION_TAG_NULL, "[\"a b\", \"c\"]", true));
    EXPECT_EQ(value.getString(", "), "a b, c");
    std::string out = "x=";
    EXPECT_EQ(value.getString(out, ",", true), "x=a b,c");
    EXPECT_EQ(value.getString(out, ",", false), "a b,c");
    value.setReal(21.4567f);
    EXPECT_EQ(value.getText(), "21.4567");
    EXPECT_EQ(ValueContainer().getString(", "), "");
}

TEST(ValueContainerTest, LastTimeStampIsThatOfTheLastDatedRecord)
{
    ValueContainer page;
    EXPECT_EQ(page.getLastTimeStamp(), Poco::Timestamp(0));
    page.append(BACnetValue(realRecord(1, 1.0f)));
    page.append(BACnetValue(realRecord(2, 2.0f)));
    BACnetLogRecord undated;  // default date: no calendar time
    page.append(BACnetValue(undated));
    EXPECT_EQ(page.getLastTimeStamp(), realRecord(2, 0.0f).getTimeStamp());
    EXPECT_EQ(BACnetDateTime(page.getLastTimeStamp()), realRecord(2, 0.0f).getDateTime());
}

TEST(ValueContainerTest, AnyIsReadAsTheStoredApplicationTag)
{
    struct Case
    {
        BACNET_APPLICATION_TAG tag;
        const char* text;
        BACnetDataType read;
    };
    const Case cases[] = {
        {BACNET_APPLICATION_TAG_BOOLEAN, "false", BACNET_DT_BOOLEAN},
        {BACNET_APPLICATION_TAG_UNSIGNED_INTEGER, "7", BACNET_DT_UNSIGNED},
        {BACNET_APPLICATION_TAG_SIGNED_INTEGER, "-7", BACNET_DT_SIGNED},
        {BACNET_APPLICATION_TAG_ENUMERATED, "1", BACNET_DT_ENUMERATED},
        {BACNET_APPLICATION_TAG_CHARACTER_STRING, "on", BACNET_DT_CHARACTER_STRING},
        {BACNET_APPLICATION_TAG_ENUMERATED, "null", BACNET_DT_NULL},
    };
    for (const Case& c : cases)
    {
        ValueContainer value;
        ASSERT_TRUE(value.setText(BACNET_DT_ANY, c.tag, c.text, false)) << c.text;
        EXPECT_EQ(value.getDataType(), BACNET_DT_ANY);
        EXPECT_EQ(value.at(0).getDataType(), c.read) << c.text;
        EXPECT_EQ(value.getText(), c.text);
    }
    ValueContainer value;
    EXPECT_FALSE(value.setText(BACNET_DT_ANY, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER, "seven", false));
    EXPECT_FALSE(value.setText(BACNET_DT_ANY, MAX_BACNET_APPLICATION_TAG, "7", false));
}

TEST(ValueContainerTest, TypedAccessOfElements)
{
    using Orvik::BACnet::DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;
    ValueContainer value;
    ASSERT_TRUE(value.setText(BACNET_DT_OBJECT_IDENTIFIER, BACNET_APPLICATION_TAG_NULL,
                              "[device:5, trend-log:3, trend-log-multiple:4]", true));
    std::vector<std::uint32_t> types;
    for (const BACnetValue& element : value.getBACnetPrimitives())
    {
        types.push_back(element.getObjectIdentifier().getObjectType());
    }
    EXPECT_EQ(types, (std::vector<std::uint32_t>{OBJECT_DEVICE, OBJECT_TRENDLOG, OBJECT_TREND_LOG_MULTIPLE}));
    EXPECT_THROW(value.at(3), Poco::RangeException);

    ObjectIdentifier first;
    EXPECT_EQ(value.getValue(first), ObjectIdentifier(OBJECT_DEVICE, 5));
    EXPECT_THROW(ValueContainer().getValue(first), Poco::NullValueException);

    std::vector<BACnetTrendLogLastUploaded> positions;
    ValueContainer none;
    EXPECT_TRUE(none.getValues(positions).empty());
    positions.emplace_back(
        BACnetDeviceObjectReference(ObjectIdentifier(OBJECT_DEVICE, 1), ObjectIdentifier(OBJECT_TRENDLOG, 1)),
        Poco::Timestamp(42));
    none.setValues(positions);
    EXPECT_EQ(none.getDataType(), BACNET_DT_TREND_LOG_LAST_UPLOADED);
    EXPECT_EQ(none.getLastTimeStamp(), Poco::Timestamp(42));
    EXPECT_EQ(none.getText(), "[{device:1/trend-log:1, 1970-01-01T00:00:00.000042Z}]");
}
