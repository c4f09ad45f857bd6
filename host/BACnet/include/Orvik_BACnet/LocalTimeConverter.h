#pragma once

#include <Poco/Clock.h>
#include <Poco/Timestamp.h>

#include <cstddef>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"

namespace Orvik::BACnet
{

/// Converts instants to the gateway's local BACnet date-times and back exactly as DataType::BACnetDateTime
/// does (its constructor from a Poco::Timestamp, toTimestamp()), for many time stamps near each other: the
/// records of a trend log, page after page. A time zone look-up costs microseconds (the C library checks
/// the zone file on each), so the converter learns a span of time over which the gateway's UTC offset
/// stays the same and applies the offset inside it by arithmetic.
///
/// A span grows by one look-up at a time, 29 days ahead: when the offset there is the one of the span,
/// no offset change lies between (a zone changes its offset at most twice a year). When it differs, the
/// change is searched (about 22 look-ups, once per change) and the span ends just before it. A page of
/// records inside a span costs no look-up. Everything else is converted one by one as BACnetDateTime
/// does: times before the span, a time within a second of an offset change, and a local time within a
/// day of one (a local time that repeats or never comes is left to the C library, as ever). What was
/// learned is forgotten after a second, so a change of the gateway's time zone shows within a second.
///
/// Not thread-safe: one converter per thread, or used under its owner's lock.
class LocalTimeConverter
{
public:
    /// The gateway's local date and time of `time`, as DataType::BACnetDateTime(time).
    DataType::BACnetDateTime toLocal(const Poco::Timestamp& time);
    /// The instant of the local `dateTime`, as dateTime.toTimestamp() (which throws for a date-time
    /// that is not specified).
    Poco::Timestamp toUtc(const DataType::BACnetDateTime& dateTime);
    /// Time zone look-ups made so far (for measurements).
    std::size_t getLookUps() const { return _lookUps; }

private:
    /// True when every time from `first` to `last` lies in the span; learns the span when needed.
    bool covers(const Poco::Timestamp& first, const Poco::Timestamp& last);
    void startSpan(const Poco::Timestamp& time);
    void extendSpan(const Poco::Timestamp& to);
    Poco::Timestamp lastWithSpanOffset(Poco::Timestamp same, Poco::Timestamp other);
    Poco::Timestamp::TimeDiff offsetAt(const Poco::Timestamp& time);

    bool _known = false;
    Poco::Timestamp _from;
    Poco::Timestamp _to;
    bool _endsAtChange = false;  ///< an offset change follows _to
    Poco::Timestamp::TimeDiff _offset = 0;
    Poco::Clock _learnedAt;
    std::size_t _lookUps = 0;
};

}  // namespace Orvik::BACnet
