#pragma once

#include <cstdint>

namespace Orvik::BACnet::DataType
{

/// A BACnet date. `year` is the year AD (2155 = unspecified, the wire's 255); `month` 1..12,
/// 13 odd months, 14 even months; `day` 1..31, 32 last day of month, 33 odd days, 34 even days;
/// `wday` 1 Monday .. 7 Sunday; 255 in month, day or wday means unspecified.
/// A default-constructed date has every field 0 (year 0 marks a date that was never set).
struct Date
{
    static constexpr std::uint16_t _YEAR_UNSPECIFIED = 2155;
    static constexpr std::uint8_t _UNSPECIFIED = 255;

    std::uint16_t year = 0;
    std::uint8_t month = 0;
    std::uint8_t day = 0;
    std::uint8_t wday = 0;

    Date() = default;
    Date(std::uint16_t aYear, std::uint8_t aMonth, std::uint8_t aDay, std::uint8_t aWday)
        : year(aYear), month(aMonth), day(aDay), wday(aWday)
    {
    }

    /// The weekday (1 Monday .. 7 Sunday) of a valid Gregorian year/month/day, else 255.
    static std::uint8_t weekdayOf(std::uint16_t year, std::uint8_t month, std::uint8_t day);

    bool operator==(const Date& other) const
    {
        return year == other.year && month == other.month && day == other.day && wday == other.wday;
    }
    bool operator!=(const Date& other) const { return !(*this == other); }
};

}  // namespace Orvik::BACnet::DataType
