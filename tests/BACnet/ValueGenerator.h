#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Orvik_BACnet/BACnetValue.h"

namespace Orvik::BACnet
{

/// Seeded random BACnet values of every datatype a ValueContainer holds, reaching the edges of each
/// field (wildcards, full number ranges, awkward bytes in strings).
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
        using namespace DataType;
        const std::map<BACnetDataType, std::function<BACnetValue()>> makers = {
            {BACNET_DT_BOOLEAN, [&] { return BACnetValue::makeBoolean(chance(2)); }},
            {BACNET_DT_UNSIGNED, [&] { return BACnetValue::makeUnsigned(number()); }},
            {BACNET_DT_SIGNED, [&] { return BACnetValue::makeSigned(static_cast<std::int64_t>(number())); }},
            {BACNET_DT_REAL, [&] { return BACnetValue::makeReal(floating<float, std::uint32_t>()); }},
            {BACNET_DT_DOUBLE, [&] { return BACnetValue::makeDouble(floating<double, std::uint64_t>()); }},
            {BACNET_DT_OCTET_STRING, [&] { return BACnetValue::makeOctetString(bytes(upTo(20))); }},
            {BACNET_DT_CHARACTER_STRING, [&] { return BACnetValue::makeCharacterString(awkwardText()); }},
            {BACNET_DT_BIT_STRING, [&] { return BACnetValue(bits(upTo(100))); }},
            {BACNET_DT_ENUMERATED,
             [&] { return BACnetValue::makeEnumerated(static_cast<std::uint32_t>(number())); }},
            {BACNET_DT_DATE, [&] { return BACnetValue(date()); }},
            {BACNET_DT_TIME, [&] { return BACnetValue(time()); }},
            {BACNET_DT_OBJECT_IDENTIFIER, [&] { return BACnetValue(objectIdentifier()); }},
            {BACNET_DT_DATE_TIME, [&] { return BACnetValue(BACnetDateTime(date(), time())); }},
            {BACNET_DT_TIME_STAMP, [&] { return BACnetValue(timeStamp()); }},
            {BACNET_DT_OBJECT_PROPERTY_REFERENCE,
             [&] {
                 return BACnetValue(
                     BACnetObjectPropertyReference(objectIdentifier(), property(), arrayIndex()));
             }},
            {BACNET_DT_DEVICE_OBJECT_REFERENCE, [&] { return BACnetValue(deviceObjectReference()); }},
            {BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE,
             [&]
             {
                 return BACnetValue(BACnetDeviceObjectPropertyReference(objectIdentifier(), property(),
                                                                        arrayIndex(), device()));
             }},
            {BACNET_DT_ADDRESS, [&] { return BACnetValue(address()); }},
            {BACNET_DT_LOG_RECORD, [&] { return BACnetValue(logRecord()); }},
            {BACNET_DT_TREND_LOG_LAST_UPLOADED, [&]
             {
                 return BACnetValue(Proprietary::VendorOrvik::BACnetTrendLogLastUploaded(
                     deviceObjectReference(), Poco::Timestamp(timestampMicros()),
                     chance(2) ? 0 : static_cast<std::uint32_t>(_rng())));
             }}};
        const auto maker = makers.find(dataType);
        return maker == makers.end() ? BACnetValue() : maker->second();
    }

    /// Microseconds of a time stamp between the years 1 and 9999 (the range of the text form).
    std::int64_t timestampMicros()
    {
        constexpr std::int64_t year1 = -62135596800LL * 1000000;     // 0001-01-01T00:00:00Z
        constexpr std::int64_t year9999 = 253402300799LL * 1000000;  // 9999-12-31T23:59:59Z
        return std::uniform_int_distribution<std::int64_t>(year1, year9999)(_rng);
    }

    std::size_t upTo(std::size_t max) { return std::uniform_int_distribution<std::size_t>(0, max)(_rng); }
    bool chance(unsigned oneIn) { return std::uniform_int_distribution<unsigned>(1, oneIn)(_rng) == 1; }
    std::mt19937_64& rng() { return _rng; }

private:
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
            {
                value = static_cast<F>(number() % 100000) / 100;  // plain decimals like 21.5
            }
            if (!std::isnan(value))
            {
                return value;
            }
        }
    }

    std::string bytes(std::size_t count)
    {
        std::string text;
        for (std::size_t i = 0; i < count; ++i)
        {
            text += static_cast<char>(_rng() & 0xFF);
        }
        return text;
    }

    std::string awkwardText()
    {
        static const char* const pieces[] = {"a",
                                             "Z",
                                             " ",
                                             "\"",
                                             "[",
                                             "]",
                                             ",",
                                             "\\",
                                             "{",
                                             "}",
                                             "null",
                                             "\n",
                                             "\t",
                                             "\x01",
                                             "\x7f",
                                             "\xc3\xa4",
                                             "\xe2\x82\xac",
                                             "\xf0\x9f\x98\x80",
                                             "\xff",
                                             "\xc3",
                                             "\xed\xa0\x80",
                                             "0x",
                                             ":",
                                             "/"};
        std::string text;
        const std::size_t count = upTo(12);
        for (std::size_t i = 0; i < count; ++i)
        {
            text += pieces[upTo(std::size(pieces) - 1)];
        }
        return text;
    }

    DataType::BitString bits(std::size_t count)
    {
        DataType::BitString value(count);
        for (std::size_t i = 0; i < count; ++i)
        {
            value.setBit(i, chance(2));
        }
        return value;
    }

    std::uint8_t byte() { return static_cast<std::uint8_t>(_rng() & 0xFF); }

    DataType::Date date()
    {
        if (chance(2))  // a real calendar date, weekday computed
        {
            const std::uint16_t year = static_cast<std::uint16_t>(1900 + upTo(254));
            const std::uint8_t month = static_cast<std::uint8_t>(1 + upTo(11));
            const std::uint8_t day = static_cast<std::uint8_t>(1 + upTo(27));
            return DataType::Date(year, month, day, DataType::Date::weekdayOf(year, month, day));
        }
        return DataType::Date(static_cast<std::uint16_t>(_rng() & 0xFFFF), byte(), byte(), byte());
    }

    DataType::Time time() { return DataType::Time(byte(), byte(), byte(), byte()); }

    DataType::ObjectIdentifier objectIdentifier()
    {
        return DataType::ObjectIdentifier::fromEncoded(
            chance(2) ? static_cast<std::uint32_t>(_rng())
                      : (static_cast<std::uint32_t>(upTo(64)) << 22) | static_cast<std::uint32_t>(upTo(100)));
    }

    DataType::ObjectIdentifier device()
    {
        return chance(3)
                   ? DataType::BACnetDeviceObjectPropertyReference::noDevice()
                   : DataType::ObjectIdentifier(OBJECT_DEVICE, static_cast<std::uint32_t>(upTo(4194302)));
    }

    BACNET_PROPERTY_ID property()
    {
        return static_cast<BACNET_PROPERTY_ID>(chance(2) ? upTo(600) : static_cast<std::uint32_t>(_rng()));
    }

    std::uint32_t arrayIndex()
    {
        return chance(2) ? BACNET_ARRAY_ALL : static_cast<std::uint32_t>(_rng() % BACNET_ARRAY_ALL);
    }

    DataType::BACnetDeviceObjectReference deviceObjectReference()
    {
        return DataType::BACnetDeviceObjectReference(device(), objectIdentifier());
    }

    DataType::BACnetTimeStamp timeStamp()
    {
        switch (upTo(2))
        {
            case 0:
                return DataType::BACnetTimeStamp(time());
            case 1:
                return DataType::BACnetTimeStamp(static_cast<std::uint32_t>(_rng()));
            default:
                return DataType::BACnetTimeStamp(DataType::BACnetDateTime(date(), time()));
        }
    }

    DataType::BACnetAddress address()
    {
        DataType::BACnetAddress value;
        value.setNetworkNumber(static_cast<std::uint16_t>(_rng() & 0xFFFF));
        const std::string mac = bytes(upTo(DataType::BACnetAddress::_MAX_MAC_LENGTH));
        value.setMAC(reinterpret_cast<const std::uint8_t*>(mac.data()), mac.size());
        return value;
    }

    DataType::BACnetLogRecord logRecord()
    {
        DataType::BACnetLogRecord record;
        record.setDateTime(DataType::BACnetDateTime(date(), time()));
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
        {
            record.setStatusFlags(bits(4));
        }
        return record;
    }

    std::mt19937_64 _rng;
};

}  // namespace Orvik::BACnet
