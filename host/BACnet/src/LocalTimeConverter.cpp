#include "Orvik_BACnet/LocalTimeConverter.h"

#include <Poco/DateTime.h>

namespace Orvik::BACnet
{

namespace
{

const Poco::Timestamp::TimeDiff SECOND = 1000000;
const Poco::Timestamp::TimeDiff DAY = 24 * 3600 * SECOND;
/// How far one look-up extends a span: less than the shortest time between two offset changes.
const Poco::Timestamp::TimeDiff STEP = 29 * DAY;
/// Beyond any UTC offset, so that a local time converts by arithmetic only far from an offset change.
const Poco::Timestamp::TimeDiff LOCAL_MARGIN = DAY;
const Poco::Clock::ClockDiff FORGET_AFTER = 1000000;

/// The fields of `shifted` (a time stamp moved by the UTC offset) as a BACnetDateTime.
DataType::BACnetDateTime fieldsOf(const Poco::Timestamp& shifted)
{
    const Poco::DateTime fields(shifted);
    const auto year = static_cast<std::uint16_t>(fields.year());
    const auto month = static_cast<std::uint8_t>(fields.month());
    const auto day = static_cast<std::uint8_t>(fields.day());
    return DataType::BACnetDateTime(
        DataType::Date(year, month, day, DataType::Date::weekdayOf(year, month, day)),
        DataType::Time(static_cast<std::uint8_t>(fields.hour()), static_cast<std::uint8_t>(fields.minute()),
                       static_cast<std::uint8_t>(fields.second()),
                       static_cast<std::uint8_t>(fields.millisecond() / 10)));
}

/// The instant whose UTC fields are those of `dateTime`.
Poco::Timestamp asIfUtc(const DataType::BACnetDateTime& dateTime)
{
    return Poco::DateTime(dateTime.date.year, dateTime.date.month, dateTime.date.day, dateTime.time.hour,
                          dateTime.time.min, dateTime.time.sec, dateTime.time.hundredths * 10)
        .timestamp();
}

}  // namespace

DataType::BACnetDateTime LocalTimeConverter::toLocal(const Poco::Timestamp& time)
{
    return covers(time, time) ? fieldsOf(time + _offset) : DataType::BACnetDateTime(time);
}

Poco::Timestamp LocalTimeConverter::toUtc(const DataType::BACnetDateTime& dateTime)
{
    if (!dateTime.isSpecified())
        return dateTime.toTimestamp();  // throws
    const Poco::Timestamp fields = asIfUtc(dateTime);
    // Every instant that could read as these fields lies within the margin; with one offset over all of
    // them the local time is unambiguous.
    return covers(fields - LOCAL_MARGIN, fields + LOCAL_MARGIN) ? fields - _offset : dateTime.toTimestamp();
}

bool LocalTimeConverter::covers(const Poco::Timestamp& first, const Poco::Timestamp& last)
{
    if (!_known || _learnedAt.elapsed() > FORGET_AFTER || first < _from || first > _to)
        startSpan(first);
    if (last > _to)
        extendSpan(last);
    return last <= _to;
}

void LocalTimeConverter::startSpan(const Poco::Timestamp& time)
{
    _offset = offsetAt(time);
    _from = time;
    _to = time;
    _endsAtChange = false;
    _known = true;
    _learnedAt.update();
    extendSpan(time + STEP);
}

void LocalTimeConverter::extendSpan(const Poco::Timestamp& to)
{
    while (_to < to && !_endsAtChange)
    {
        const Poco::Timestamp probe = _to + STEP;
        if (offsetAt(probe) == _offset)
        {
            _to = probe;
            continue;
        }
        _to = lastWithSpanOffset(_to, probe);
        _endsAtChange = true;
    }
}

Poco::Timestamp LocalTimeConverter::lastWithSpanOffset(Poco::Timestamp same, Poco::Timestamp other)
{
    while (other - same > SECOND)
    {
        const Poco::Timestamp middle = same + (other - same) / 2;
        (offsetAt(middle) == _offset ? same : other) = middle;
    }
    return same;
}

Poco::Timestamp::TimeDiff LocalTimeConverter::offsetAt(const Poco::Timestamp& time)
{
    ++_lookUps;
    // The offset BACnetDateTime applies, whatever the C library and Poco make of the zone.
    const Poco::Timestamp::TimeDiff difference = asIfUtc(DataType::BACnetDateTime(time)) - time;
    // The local fields drop the part below a hundredth; offsets are whole seconds.
    return (difference + (difference >= 0 ? SECOND / 2 : -SECOND / 2)) / SECOND * SECOND;
}

}  // namespace Orvik::BACnet
