#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSchedule.h"

#include <algorithm>
#include <limits>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

const Poco::Int64 _MICROSECONDS_PER_SECOND = 1000000;
const Poco::Int64 _MICROSECONDS_PER_MINUTE = 60 * _MICROSECONDS_PER_SECOND;

}  // namespace

UploadSchedule::UploadSchedule(Poco::UInt32 periodMinutes, Poco::UInt32 offsetSeconds,
                               Poco::UInt32 retryWaitMinutes, Poco::UInt32 retryCount)
    : _periodMinutes(periodMinutes),
      _offsetSeconds(offsetSeconds),
      _retryWaitMinutes(retryWaitMinutes),
      _retryCount(retryCount)
{
}

Poco::UInt32 UploadSchedule::retriesThatFit(Poco::UInt32 periodMinutes, Poco::UInt32 retryWaitMinutes,
                                            Poco::UInt32 retryCount)
{
    if (retryCount == 0)
    {
        return 0;
    }
    if (periodMinutes <= retryWaitMinutes)
    {
        return 0;
    }
    if (static_cast<Poco::UInt64>(retryWaitMinutes) * retryCount >= periodMinutes)
    {
        return periodMinutes / retryWaitMinutes;
    }
    return retryCount;
}

Poco::Timestamp UploadSchedule::nextAttempt(const Poco::Timestamp& now) const
{
    if (_retries != 0)
    {
        return now + static_cast<Poco::Int64>(_retryWaitMinutes) * _MICROSECONDS_PER_MINUTE;
    }
    const Poco::Int64 t = now.epochMicroseconds() / _MICROSECONDS_PER_SECOND;
    const Poco::Int64 period = static_cast<Poco::Int64>(_periodMinutes) * 60;
    const Poco::Int64 next =
        (t / period) * period + static_cast<Poco::Int64>(_offsetSeconds) % period + period;
    return Poco::Timestamp(next * _MICROSECONDS_PER_SECOND);
}

Poco::Int32 UploadSchedule::millisecondsUntilNextAttempt(const Poco::Timestamp& now) const
{
    const Poco::Int64 milliseconds = (nextAttempt(now) - now) / 1000;
    return static_cast<Poco::Int32>(
        std::min<Poco::Int64>(milliseconds, std::numeric_limits<Poco::Int32>::max()));
}

void UploadSchedule::attemptEnded(bool succeeded)
{
    if (succeeded || _retries >= _retryCount)
    {
        _retries = 0;
    }
    else
    {
        ++_retries;
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
