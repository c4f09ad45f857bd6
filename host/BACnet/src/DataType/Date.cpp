#include "Orvik_BACnet/DataType/Date.h"

#include <Poco/DateTime.h>

namespace Orvik::BACnet::DataType
{

namespace
{

// Poco counts Sunday 0 .. Saturday 6; BACnet Monday 1 .. Sunday 7.
std::uint8_t bacnetWeekday(int pocoDayOfWeek)
{
    return static_cast<std::uint8_t>(pocoDayOfWeek == 0 ? 7 : pocoDayOfWeek);
}

}  // namespace

std::uint8_t Date::weekdayOf(std::uint16_t year, std::uint8_t month, std::uint8_t day)
{
    if (year == 0 || year == _YEAR_UNSPECIFIED || !Poco::DateTime::isValid(year, month, day))
    {
        return _UNSPECIFIED;
    }
    return bacnetWeekday(Poco::DateTime(year, month, day).dayOfWeek());
}

}  // namespace Orvik::BACnet::DataType
