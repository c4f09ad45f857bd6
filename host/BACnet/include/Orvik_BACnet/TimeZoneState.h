#pragma once

#include <Poco/Timestamp.h>

#include <cstdint>

namespace Orvik::BACnet
{

/// The gateway's time zone at one instant, as a Device object gives it (UTC_Offset,
/// Daylight_Savings_Status).
struct TimeZoneState
{
    /// Minutes to add to local standard time for UTC: west of Greenwich positive. Daylight saving
    /// leaves it unchanged.
    std::int32_t utcOffset = 0;
    bool daylightSaving = false;

    /// Reentrant (localtime_r only): simulated devices and the trend log pusher ask from worker threads,
    /// where Poco::Timezone::isDst's std::localtime would share its one result buffer with every thread.
    static TimeZoneState at(const Poco::Timestamp& time);
    /// The local clock's offset from UTC at `time` in seconds, east positive, daylight saving included.
    static std::int32_t localOffsetSeconds(const Poco::Timestamp& time);
};

}  // namespace Orvik::BACnet
