#include "Orvik_BACnet/TimeZoneState.h"

#include <Poco/Exception.h>

#include <ctime>

namespace Orvik::BACnet
{

namespace
{

std::tm localFields(std::time_t time)
{
    std::tm fields{};
    if (localtime_r(&time, &fields) == nullptr)
        throw Poco::SystemException("cannot get local time");
    return fields;
}

}  // namespace

std::int32_t TimeZoneState::localOffsetSeconds(const Poco::Timestamp& time)
{
    return static_cast<std::int32_t>(localFields(time.epochTime()).tm_gmtoff);
}

TimeZoneState TimeZoneState::at(const Poco::Timestamp& time)
{
    const std::time_t seconds = time.epochTime();
    const std::tm fields = localFields(seconds);
    TimeZoneState state;
    state.daylightSaving = fields.tm_isdst > 0;
    long standard = fields.tm_gmtoff;
    if (state.daylightSaving)
    {
        // The local time carries the shift, which is not always an hour (Lord Howe's is half of one):
        // the standard offset is the one of a time without it. Daylight saving lasts at most about eight
        // months, so a time a quarter or half a year away is without it.
        const std::time_t quarter = 91 * 24 * 3600;
        standard -= 3600;  // as Poco takes the shift to be, should there be none
        for (const int quarters : {-1, 1, -2, 2})
        {
            const std::tm otherFields = localFields(seconds + quarters * quarter);
            if (otherFields.tm_isdst == 0)
            {
                standard = otherFields.tm_gmtoff;
                break;
            }
        }
    }
    state.utcOffset = static_cast<std::int32_t>(-standard / 60);
    return state;
}

}  // namespace Orvik::BACnet
