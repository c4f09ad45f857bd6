#pragma once

#include "Orvik_BACnet/DataType/BACnetDateTime.h"

#include <Poco/Timestamp.h>

namespace Orvik::BACnet::Device
{

/// Local BACnet date-times of many time stamps of one short span, as BACnetDateTime(Poco::Timestamp)
/// gives them, without a time zone lookup for each (such a lookup costs microseconds, and a ReadRange
/// page holds dozens of records). When the UTC offset is the same at both ends of a span shorter than
/// 30 days, no offset change (daylight saving) lies between, and the offset is applied by arithmetic to
/// the time stamps within the span; every other time stamp is converted on its own.
class LocalTimeConverter
{
public:
    LocalTimeConverter(const Poco::Timestamp& first, const Poco::Timestamp& last);

    DataType::BACnetDateTime convert(const Poco::Timestamp& time) const;

private:
    static Poco::Timestamp::TimeDiff offsetAt(const Poco::Timestamp& time);
    static DataType::BACnetDateTime fieldsOf(const Poco::Timestamp& shifted);

    Poco::Timestamp _first;
    Poco::Timestamp _last;
    bool _uniform = false;
    Poco::Timestamp::TimeDiff _offset = 0;
};

}  // namespace Orvik::BACnet::Device
