#pragma once

#include <cstdint>

namespace Orvik::BACnet::DataType
{

/// A BACnet time of day: `hour` 0..23, `min` 0..59, `sec` 0..59, `hundredths` 0..99; 255 in a field
/// means unspecified. A default-constructed time is 00:00:00.00.
struct Time
{
    static constexpr std::uint8_t _UNSPECIFIED = 255;

    std::uint8_t hour = 0;
    std::uint8_t min = 0;
    std::uint8_t sec = 0;
    std::uint8_t hundredths = 0;

    Time() = default;
    Time(std::uint8_t aHour, std::uint8_t aMin, std::uint8_t aSec, std::uint8_t aHundredths)
        : hour(aHour), min(aMin), sec(aSec), hundredths(aHundredths)
    {
    }

    bool operator==(const Time& other) const
    {
        return hour == other.hour && min == other.min && sec == other.sec && hundredths == other.hundredths;
    }
    bool operator!=(const Time& other) const { return !(*this == other); }
};

}  // namespace Orvik::BACnet::DataType
