#pragma once

#include <Poco/Timestamp.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// When the trend log pusher's upload attempts are due: on a fixed wall-clock period with an offset,
/// and after a failed attempt a number of retries a fixed wait apart. Pure: the caller passes the time.
///
/// The period points are multiples of the period since the Unix epoch (UTC), so a period that divides a
/// day starts at midnight; the next scheduled attempt is the offset after the boundary that follows the
/// current period's start, never in the current period. All times are computed in 64 bits: exact for
/// every period, offset and wait that the 32-bit parameters can hold.
class UploadSchedule
{
public:
    /// Period 1 min, offset 0, no retries.
    UploadSchedule() = default;
    /// `periodMinutes` at least 1; `offsetSeconds` below the period; `retryCount` as retriesThatFit()
    /// gives it. Resets the retry count.
    UploadSchedule(Poco::UInt32 periodMinutes, Poco::UInt32 offsetSeconds, Poco::UInt32 retryWaitMinutes,
                   Poco::UInt32 retryCount);

    /// The retries of one failure that fit within one period: none when the wait is not below the
    /// period, else at most period / wait.
    static Poco::UInt32 retriesThatFit(Poco::UInt32 periodMinutes, Poco::UInt32 retryWaitMinutes,
                                       Poco::UInt32 retryCount);

    /// When the next attempt is due, seen at `now`: in retry mode the retry wait after now, otherwise
    /// the next period point.
    Poco::Timestamp nextAttempt(const Poco::Timestamp& now) const;
    /// Milliseconds from `now` until nextAttempt(), limited to the Int32 range.
    Poco::Int32 millisecondsUntilNextAttempt(const Poco::Timestamp& now) const;

    /// Counts an attempt: a success, or a failure when every retry is spent, goes back to the period
    /// points; any other failure is one retry more.
    void attemptEnded(bool succeeded);
    /// Failed attempts in a row since the last scheduled one (0: not in retry mode).
    Poco::UInt32 retries() const { return _retries; }

private:
    Poco::UInt32 _periodMinutes = 1;
    Poco::UInt32 _offsetSeconds = 0;
    Poco::UInt32 _retryWaitMinutes = 0;
    Poco::UInt32 _retryCount = 0;
    Poco::UInt32 _retries = 0;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
