// ValueContainer: the stored text form (exact round trips of generated values of every datatype,
// hand-written texts, malformed and mutated texts that must fail cleanly), merging, getters and their
// conversions, the display form, the last time stamp of a log buffer.

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "Orvik_BACnet/ValueContainer.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::DataType;
using Orvik::BACnet::DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

namespace
{

/// Seeded random values of every datatype a ValueContainer holds, reaching the edges of each field
/// (wildcards, full number ranges, awkward bytes in strings).
class ValueGenerator
{
public:
    explicit ValueGenerator(std::uint64_t seed) : _rng(seed) {}

    /// Every datatype a ValueContainer holds as itself (ANY holds the primitives, made as those).
    static std::vector<BACnetDataType> holdableDataTypes()
    {
        std::vector<BACnetDataType> types;
        for (std::uint32_t type = 0; type <= BACNET_DT_TREND_LOG_LAST_UPLOADED; ++type)
        {
            if (BACnetDataTypeInfo::isHoldable(type) && type != BACNET_DT_ANY)
                types.push_back(static_cast<BACnetDataType>(type));
        }
        return types;
    }

    /// A value of `dataType`; NULL for a datatype without a generator.
    BACnetValue make(BACnetDataType dataType)
    {
        switch (dataType)
        {
            case BACNET_DT_BOOLEAN:
                return BACnetValue::makeBoolean(chance(2));
            case BACNET_DT_UNSIGNED:
                return BACnetValue::makeUnsigned(number());
            case BACNET_DT_SIGNED:
                return BACnetValue::makeSigned(static_cast<std::int64_t>(number()));
            case BACNET_DT_REAL:
                return BACnetValue::makeReal(floating<float, std::uint32_t>());
            case BACNET_DT_DOUBLE:
                return BACnetValue::makeDouble(floating<double, std::uint64_t>());
            case BACNET_DT_OCTET_STRING:
                return BACnetValue::makeOctetString(bytes(upTo(20)));
            case BACNET_DT_CHARACTER_STRING:
                return BACnetValue::makeCharacterString(awkwardText());
            case BACNET_DT_BIT_STRING:
                return BACnetValue(bits(upTo(100)));
            case BACNET_DT_ENUMERATED:
                return BACnetValue::makeEnumerated(static_cast<std::uint32_t>(number()));
            case BACNET_DT_DATE:
                return BACnetValue(date());
            case BACNET_DT_TIME:
                return BACnetValue(time());
            case BACNET_DT_OBJECT_IDENTIFIER:
                return BACnetValue(objectIdentifier());
            case BACNET_DT_DATE_TIME:
                return BACnetValue(BACnetDateTime(date(), time()));
            case BACNET_DT_TIME_STAMP:
                return BACnetValue(upTo(2) == 0   ? BACnetTimeStamp(time())
                                   : upTo(1) == 0 ? BACnetTimeStamp(static_cast<std::uint32_t>(_rng()))
                                                  : BACnetTimeStamp(BACnetDateTime(date(), time())));
            case BACNET_DT_OBJECT_PROPERTY_REFERENCE:
                return BACnetValue(
                    BACnetObjectPropertyReference(objectIdentifier(), property(), arrayIndex()));
            case BACNET_DT_DEVICE_OBJECT_REFERENCE:
                return BACnetValue(deviceObjectReference());
            case BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE:
                return BACnetValue(BACnetDeviceObjectPropertyReference(objectIdentifier(), property(),
                                                                       arrayIndex(), device()));
            case BACNET_DT_ADDRESS:
                return BACnetValue(address());
            case BACNET_DT_LOG_RECORD:
                return BACnetValue(logRecord());
            case BACNET_DT_TREND_LOG_LAST_UPLOADED:
                return BACnetValue(
                    BACnetTrendLogLastUploaded(deviceObjectReference(), Poco::Timestamp(timestampMicros()),
                                               chance(2) ? 0 : static_cast<std::uint32_t>(_rng())));
            default:
                return BACnetValue();
        }
    }

    std::size_t upTo(std::size_t max) { return std::uniform_int_distribution<std::size_t>(0, max)(_rng); }
    bool chance(unsigned oneIn) { return std::uniform_int_distribution<unsigned>(1, oneIn)(_rng) == 1; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(_rng() & 0xFF); }

private:
    /// Microseconds of a time stamp between the years 1 and 9999 (the range of the text form).
    std::int64_t timestampMicros()
    {
        constexpr std::int64_t year1 = -62135596800LL * 1000000;     // 0001-01-01T00:00:00Z
        constexpr std::int64_t year9999 = 253402300799LL * 1000000;  // 9999-12-31T23:59:59Z
        return std::uniform_int_distribution<std::int64_t>(year1, year9999)(_rng);
    }

    /// Numbers of every magnitude: random width, then random bits.
    std::uint64_t number()
    {
        const unsigned width = std::uniform_int_distribution<unsigned>(0, 64)(_rng);
        return width == 64 ? _rng() : _rng() & ((std::uint64_t(1) << width) - 1);
    }

    template <class F, class Bits>
    F floating()
    {
        for (;;)
        {
            const Bits raw = static_cast<Bits>(_rng());
            F value;
            std::memcpy(&value, &raw, sizeof(value));
            if (chance(10))
                value = static_cast<F>(number() % 100000) / 100;  // plain decimals like 21.5
            if (!std::isnan(value))
                return value;
        }
    }

    std::string bytes(std::size_t count)
    {
        std::string text(count, '\0');
        for (char& c : text)
            c = static_cast<char>(byte());
        return text;
    }

    std::string awkwardText()
    {
        static const char* const pieces[] = {
            "a",    "Z",    " ",  "\"", "[",    "]",           ",",        "\\",           "{",
            "}",    "null", "\n", "\t", "\x01", "\x7f",        "\xc3\xa4", "\xe2\x82\xac", "\xf0\x9f\x98\x80",
            "\xff", "\xc3", "0x", ":",  "/",    "\xed\xa0\x80"};
        std::string text;
        for (std::size_t count = upTo(12); count > 0; --count)
            text += pieces[upTo(std::size(pieces) - 1)];
        return text;
    }

    BitString bits(std::size_t count)
    {
        BitString value(count);
        for (std::size_t i = 0; i < count; ++i)
            value.setBit(i, chance(2));
        return value;
    }

    Date date()
    {
        if (chance(2))  // a real calendar date, weekday computed
        {
            const std::uint16_t year = static_cast<std::uint16_t>(1900 + upTo(254));
            const std::uint8_t month = static_cast<std::uint8_t>(1 + upTo(11));
            const std::uint8_t day = static_cast<std::uint8_t>(1 + upTo(27));
            return Date(year, month, day, Date::weekdayOf(year, month, day));
        }
        return Date(static_cast<std::uint16_t>(_rng() & 0xFFFF), byte(), byte(), byte());
    }

    Time time() { return Time(byte(), byte(), byte(), byte()); }

    ObjectIdentifier objectIdentifier()
    {
        return ObjectIdentifier::fromEncoded(chance(2) ? static_cast<std::uint32_t>(_rng())
                                                       : (static_cast<std::uint32_t>(upTo(64)) << 22) |
                                                             static_cast<std::uint32_t>(upTo(100)));
    }

    ObjectIdentifier device()
    {
        return chance(3) ? BACnetDeviceObjectPropertyReference::noDevice()
                         : ObjectIdentifier(OBJECT_DEVICE, static_cast<std::uint32_t>(upTo(4194302)));
    }

    BACNET_PROPERTY_ID property()
    {
        return static_cast<BACNET_PROPERTY_ID>(chance(2) ? upTo(600) : static_cast<std::uint32_t>(_rng()));
    }

    std::uint32_t arrayIndex()
    {
        return chance(2) ? BACNET_ARRAY_ALL : static_cast<std::uint32_t>(_rng() % BACNET_ARRAY_ALL);
    }

    BACnetDeviceObjectReference deviceObjectReference()
    {
        return BACnetDeviceObjectReference(device(), objectIdentifier());
    }

    BACnetAddress address()
    {
        BACnetAddress value;
        value.setNetworkNumber(static_cast<std::uint16_t>(_rng() & 0xFFFF));
        const std::string mac = bytes(upTo(BACnetAddress::_MAX_MAC_LENGTH));
        value.setMAC(reinterpret_cast<const std::uint8_t*>(mac.data()), mac.size());
        return value;
    }

    BACnetLogRecord logRecord()
    {
        BACnetLogRecord record;
        record.setDateTime(BACnetDateTime(date(), time()));
        // One of the log datum choices, NULL among them.
        const std::function<void()> choices[] = {
            [&] { record.setLogStatus(bits(3)); },
            [&] { record.setBoolean(chance(2)); },
            [&] { record.setReal(floating<float, std::uint32_t>()); },
            [&] { record.setEnumerated(static_cast<std::uint32_t>(number())); },
            [&] { record.setUnsigned(number()); },
            [&] { record.setSigned(static_cast<std::int64_t>(number())); },
            [&] { record.setBitString(bits(upTo(64))); },
            [&]
            {
                record.setFailure(static_cast<BACNET_ERROR_CLASS>(upTo(65535)),
                                  static_cast<BACNET_ERROR_CODE>(upTo(65535)));
            },
            [&] { record.setTimeChange(floating<float, std::uint32_t>()); },
            [&] { record.setNull(); }};
        choices[upTo(std::size(choices) - 1)]();
        if (chance(2))
            record.setStatusFlags(bits(4));
        return record;
    }

    std::mt19937_64 _rng;
};

/// Reads `original`'s text back as `dataType` and expects the same elements and structure.
void expectReadsBack(const ValueContainer& original, BACnetDataType dataType)
{
    const std::string text = original.getText();
    ValueContainer read;
    ASSERT_TRUE(read.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true)) << text;
    EXPECT_EQ(read.getBACnetPrimitives(), original.getBACnetPrimitives()) << text;
    EXPECT_EQ(read.getStructure(), original.getStructure()) << text;
    EXPECT_EQ(read.getText(), text);
}

ValueContainer fromText(BACnetDataType dataType, const std::string& text)
{
    ValueContainer value;
    EXPECT_TRUE(value.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true)) << text;
    return value;
}

}  // namespace

TEST(ValueTextTest, GeneratedValuesAndListsOfEveryDatatypeReadBackExactly)
{
    ValueGenerator generator(20260306);
    for (BACnetDataType dataType : ValueGenerator::holdableDataTypes())
    {
        ASSERT_EQ(generator.make(dataType).getDataType(), dataType) << "no generator for " << dataType;
        for (int round = 0; round < 400; ++round)
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

TEST(ValueTextTest, HandWrittenTextsReadAsDocumented)
{
    EXPECT_EQ(fromText(BACNET_DT_CHARACTER_STRING, " My Site ").getCharString(),
              " My Site ");  // taken as written

    ValueContainer value =
        fromText(BACNET_DT_TREND_LOG_LAST_UPLOADED,
                 "[ {device:7/trend-log:3}, {device:7/trend-log:4, 2024-03-05T14:03:07.5Z, 17} ]");
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

    value = fromText(BACNET_DT_REAL, "");
    EXPECT_TRUE(value.isNull());  // empty text: no value
    EXPECT_EQ(value.getText(), "");

    // Strings that look like syntax are quoted and read back.
    for (const std::string text : {"", "null", "[1]", "\"x\"", "a\nb", "\xff\xfe", "tab\there"})
    {
        value.setCharString(text);
        EXPECT_EQ(value.getText()[0], '"');
        EXPECT_EQ(fromText(BACNET_DT_CHARACTER_STRING, value.getText()).getCharString(), text);
    }
}

TEST(ValueTextTest, MalformedTextsFailWithNoValue)
{
    const std::pair<BACnetDataType, std::vector<const char*>> cases[] = {
        {BACNET_DT_UNSIGNED, {"18446744073709551616", "-1", "[1, 2", "[1,,2]", "[[1]]", "1]", "1 2"}},
        {BACNET_DT_SIGNED, {"9223372036854775808"}},
        {BACNET_DT_REAL, {"1e39", "21,5"}},
        {BACNET_DT_ENUMERATED, {"4294967296"}},
        {BACNET_DT_BOOLEAN, {"yes"}},
        // an unclosed quote, unknown escapes, Latin-1 instead of UTF-8, a surrogate
        {BACNET_DT_CHARACTER_STRING, {"\"open", "\"bad \\q escape\"", "\"\\x4\"", "caf\xe9", "\xed\xa0\x80"}},
        {BACNET_DT_OCTET_STRING, {"0xabc"}},
        {BACNET_DT_BIT_STRING, {"0b012"}},
        {BACNET_DT_DATE, {"2024-03", "2024-03-256"}},
        {BACNET_DT_TIME, {"14:03"}},
        {BACNET_DT_OBJECT_IDENTIFIER, {"analog-input:4194304", "no-such-type:1", "1024:1"}},
        {BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE, {"analog-input:1.present-value[4294967295]"}},
        {BACNET_DT_DEVICE_OBJECT_REFERENCE, {"device:7/"}},
        {BACNET_DT_ADDRESS, {"65536/", "0/01:02:03:04:05:06:07:08"}},
        {BACNET_DT_LOG_RECORD,
         {"{2024-03-05 14:03:07.12, any-value: 1}", "{2024-03-05 14:03:07.12, real-value: 1"}},
        {BACNET_DT_TREND_LOG_LAST_UPLOADED,
         {"{device:7/trend-log:3, 2024-02-30T00:00:00Z}",
          "{device:7/trend-log:3, 2024-03-05T14:03:07.1234567Z}", "{device:7/trend-log:3"}},
        {BACNET_DT_ACTION_LIST, {"null"}},  // a datatype a container cannot hold
        {BACNET_DT_ANY, {"1"}},             // ANY without a primitive tag
    };
    for (const auto& [dataType, texts] : cases)
    {
        for (const char* text : texts)
        {
            ValueContainer value;
            value.setUInt(5);
            EXPECT_FALSE(value.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true)) << text;
            EXPECT_TRUE(value.isNull()) << text;
            EXPECT_EQ(value.getDataType(), dataType);
            EXPECT_EQ(value.getUInt(), 0u);
        }
    }
    ValueContainer value;
    EXPECT_FALSE(value.setText(BACNET_DT_UNSIGNED, BACNET_APPLICATION_TAG_NULL, "[1, 2]", false));  // no list
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
                list.append(generator.make(dataType));
            std::string text = list.getText();
            if (generator.chance(2))
                text.resize(generator.upTo(text.size()));
            else if (!text.empty())
                text[generator.upTo(text.size() - 1)] = static_cast<char>(generator.byte());
            ValueContainer read;
            if (!read.setText(dataType, BACNET_APPLICATION_TAG_NULL, text, true))
            {
                EXPECT_TRUE(read.isNull()) << text;
                continue;
            }
            EXPECT_EQ(fromText(dataType, read.getText()).getBACnetPrimitives(), read.getBACnetPrimitives())
                << text;
        }
    }
}

TEST(ValueContainerTest, MergeReportsWhetherAnythingChanged)
{
    struct Step
    {
        const char* element;  ///< unsigned text, "" for no value, a quoted text for another datatype
        std::uint32_t index;
        bool changed;
        const char* after;
    };
    const Step steps[] = {
        {"2", 2, false, "[1, 2, 3]"},         // same element
        {"9", 2, true, "[1, 9, 3]"},          //
        {"4", 4, true, "[1, 9, 3, 4]"},       // one past the end appends
        {"6", 6, false, "[1, 9, 3, 4]"},      // a gap is refused
        {"", 1, false, "[1, 9, 3, 4]"},       // nothing to merge
        {"\"x\"", 1, false, "[1, 9, 3, 4]"},  // another datatype
        {"2", 0, true, "[1, 9]"},             // index 0 sets the element count
        {"2", 0, false, "[1, 9]"},            //
        {"3", 0, true, "[1, 9, 0]"},          //
    };
    ValueContainer array = fromText(BACNET_DT_UNSIGNED, "[1, 2, 3]");
    array.setStructure(BACNET_DTS_ARRAY);
    for (const Step& step : steps)
    {
        const bool text = step.element[0] == '"';
        const ValueContainer element =
            *step.element == '\0'
                ? ValueContainer()
                : fromText(text ? BACNET_DT_CHARACTER_STRING : BACNET_DT_UNSIGNED, step.element);
        EXPECT_EQ(array.merge(element, step.index), step.changed) << step.element << " at " << step.index;
        EXPECT_EQ(array.getText(), step.after);
    }
    const ValueContainer replacement = fromText(BACNET_DT_UNSIGNED, "[7]");
    EXPECT_TRUE(array.merge(replacement, BACNET_ARRAY_ALL));
    EXPECT_EQ(array, replacement);
    EXPECT_FALSE(array.merge(replacement, BACNET_ARRAY_ALL));

    ValueContainer none;  // a parameter without stored value
    EXPECT_FALSE(none.merge(fromText(BACNET_DT_UNSIGNED, "5"), 2));
    EXPECT_TRUE(none.merge(fromText(BACNET_DT_UNSIGNED, "5"), 1));
    EXPECT_EQ(none.getUInt(), 5u);
}

TEST(ValueContainerTest, GettersConvertAndSaturateNumbersAndRefuseOtherDatatypes)
{
    ValueContainer value;
    EXPECT_EQ(value.getUInt(), 0u);  // no value reads as NULL
    EXPECT_EQ(value.getCharString(), "");
    EXPECT_EQ(value.getDate().year, 0);
    EXPECT_EQ(value.getString(", "), "");

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
    value.setReal(21.4567f);
    EXPECT_EQ(value.getText(), "21.4567");
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

    // A bit string is copied into the caller's size.
    fromText(BACNET_DT_BIT_STRING, "0b101").getBitString(bits);
    EXPECT_EQ(bits.getBitCount(), 2u);
    EXPECT_TRUE(bits.getBit(0));
    EXPECT_FALSE(bits.getBit(1));
    BitString one(1);
    fromText(BACNET_DT_BIT_STRING, "0b101").getBitString(one);
    EXPECT_EQ(one.getOctets().getUInt32(0, true), 1u);

    // The display form joins the elements with the separator.
    value = fromText(BACNET_DT_CHARACTER_STRING, "[\"a b\", \"c\"]");
    EXPECT_EQ(value.getString(", "), "a b, c");
    std::string out = "x=";
    EXPECT_EQ(value.getString(out, ",", true), "x=a b,c");
    EXPECT_EQ(value.getString(out, ",", false), "a b,c");
}

TEST(ValueContainerTest, AnyIsReadAsTheStoredApplicationTag)
{
    const std::tuple<BACNET_APPLICATION_TAG, const char*, BACnetDataType> cases[] = {
        {BACNET_APPLICATION_TAG_BOOLEAN, "false", BACNET_DT_BOOLEAN},
        {BACNET_APPLICATION_TAG_UNSIGNED_INTEGER, "7", BACNET_DT_UNSIGNED},
        {BACNET_APPLICATION_TAG_SIGNED_INTEGER, "-7", BACNET_DT_SIGNED},
        {BACNET_APPLICATION_TAG_ENUMERATED, "1", BACNET_DT_ENUMERATED},
        {BACNET_APPLICATION_TAG_CHARACTER_STRING, "on", BACNET_DT_CHARACTER_STRING},
        {BACNET_APPLICATION_TAG_ENUMERATED, "null", BACNET_DT_NULL},
    };
    for (const auto& [tag, text, read] : cases)
    {
        ValueContainer value;
        ASSERT_TRUE(value.setText(BACNET_DT_ANY, tag, text, false)) << text;
        EXPECT_EQ(value.getDataType(), BACNET_DT_ANY);
        EXPECT_EQ(value.at(0).getDataType(), read) << text;
        EXPECT_EQ(value.getText(), text);
    }
    ValueContainer value;
    EXPECT_FALSE(value.setText(BACNET_DT_ANY, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER, "seven", false));
    EXPECT_FALSE(value.setText(BACNET_DT_ANY, MAX_BACNET_APPLICATION_TAG, "7", false));
}

TEST(ValueContainerTest, TypedAccessOfElementsAndTheLastTimeStamp)
{
    ValueContainer value =
        fromText(BACNET_DT_OBJECT_IDENTIFIER, "[device:5, trend-log:3, trend-log-multiple:4]");
    std::vector<std::uint32_t> types;
    for (const BACnetValue& element : value.getBACnetPrimitives())
        types.push_back(element.getObjectIdentifier().getObjectType());
    EXPECT_EQ(types, (std::vector<std::uint32_t>{OBJECT_DEVICE, OBJECT_TRENDLOG, OBJECT_TREND_LOG_MULTIPLE}));
    EXPECT_THROW(value.at(3), Poco::RangeException);
    ObjectIdentifier first;
    EXPECT_EQ(value.getValue(first), ObjectIdentifier(OBJECT_DEVICE, 5));
    EXPECT_THROW(ValueContainer().getValue(first), Poco::NullValueException);

    std::vector<BACnetTrendLogLastUploaded> positions;
    ValueContainer none;
    EXPECT_TRUE(none.getValues(positions).empty());
    EXPECT_EQ(none.getLastTimeStamp(), Poco::Timestamp(0));
    positions.emplace_back(
        BACnetDeviceObjectReference(ObjectIdentifier(OBJECT_DEVICE, 1), ObjectIdentifier(OBJECT_TRENDLOG, 1)),
        Poco::Timestamp(42));
    none.setValues(positions);
    EXPECT_EQ(none.getDataType(), BACNET_DT_TREND_LOG_LAST_UPLOADED);
    EXPECT_EQ(none.getLastTimeStamp(), Poco::Timestamp(42));
    EXPECT_EQ(none.getText(), "[{device:1/trend-log:1, 1970-01-01T00:00:00.000042Z}]");

    // The last time stamp of a log buffer is that of its last dated record (a default date has none).
    ValueContainer page =
        fromText(BACNET_DT_LOG_RECORD,
                 "[{2024-03-05 14:01:07.12, real-value: 1}, {2024-03-05 14:02:07.12, real-value: 2}]");
    page.append(BACnetValue(BACnetLogRecord()));
    EXPECT_EQ(BACnetDateTime(page.getLastTimeStamp()), page.at(1).get<BACnetLogRecord>().getDateTime());
    EXPECT_EQ(page.getLastTimeStamp(), page.at(1).get<BACnetLogRecord>().getTimeStamp());
}
