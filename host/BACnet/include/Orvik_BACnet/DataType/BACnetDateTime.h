#pragma once

#include <Poco/LocalDateTime.h>
#include <Poco/Timestamp.h>

#include "Orvik_BACnet/DataType/BACnetComplex.h"
#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/Time.h"

namespace Orvik::BACnet::DataType
{

/// BACnetDateTime: a date and a time of day. BACnet devices keep local time, so conversions from and
/// to Poco::Timestamp go through the gateway's time zone (Poco::LocalDateTime). Precision is one
/// hundredth of a second: a time stamp converted to BACnetDateTime and back loses its sub-hundredth
/// part; a BACnetDateTime converted to a time stamp and back is unchanged.
class BACnetDateTime : public BACnetComplex
{
public:
    Date date;
    Time time;

    BACnetDateTime() = default;
    BACnetDateTime(const Date& aDate, const Time& aTime) : date(aDate), time(aTime) {}
    /// The gateway's local date and time of `timestamp`.
    explicit BACnetDateTime(const Poco::Timestamp& timestamp);
    explicit BACnetDateTime(const Poco::LocalDateTime& localDateTime);

    /// True when every field holds a real calendar value (no wildcard, valid date and time).
    bool isSpecified() const;

    /// The instant of this local date and time. Throws Poco::InvalidArgumentException when the
    /// value is not specified (see isSpecified()).
    Poco::Timestamp toTimestamp() const;

    /// <Sequence name=...> with a Date and a Time element.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetDateTime& other) const { return date == other.date && time == other.time; }
    bool operator!=(const BACnetDateTime& other) const { return !(*this == other); }
};

}  // namespace Orvik::BACnet::DataType
