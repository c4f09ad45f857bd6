#include "LocalTimeConverter.h"

#include <Poco/DateTime.h>

namespace Orvik::BACnet::Device
{

namespace
{

const Poco::Timestamp::TimeDiff SECOND = 1000000;
const Poco::Timestamp::TimeDiff LONGEST_UNIFORM_SPAN = 30LL * 24 * 3600 * SECOND;

}  // namespace

LocalTimeConverter::LocalTimeConverter(const Poco::Timestamp& first, const Poco::Timestamp& last)
    : _first(first), _last(last)
{
    if (last - first >= LONGEST_UNIFORM_SPAN)
        return;
    _offset = offsetAt(first);
    _uniform = offsetAt(last) == _offset;
}

DataType::BACnetDateTime LocalTimeConverter::convert(const Poco::Timestamp& time) const
{
    // A time outside the span (a page across a device clock step) may lie beyond an offset change.
    return _uniform && time >= _first && time <= _last ? fieldsOf(time + _offset)
                                                       : DataType::BACnetDateTime(time);
}

Poco::Timestamp::TimeDiff LocalTimeConverter::offsetAt(const Poco::Timestamp& time)
{
    const DataType::BACnetDateTime local(time);
    const Poco::DateTime asIfUtc(local.date.year, local.date.month, local.date.day, local.time.hour,
                                 local.time.min, local.time.sec, local.time.hundredths * 10);
    // The local fields drop the part below a hundredth; offsets are whole seconds.
    const Poco::Timestamp::TimeDiff difference = asIfUtc.timestamp() - time;
    return (difference + (difference >= 0 ? SECOND / 2 : -SECOND / 2)) / SECOND * SECOND;
}

DataType::BACnetDateTime LocalTimeConverter::fieldsOf(const Poco::Timestamp& shifted)
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

}  // namespace Orvik::BACnet::Device
