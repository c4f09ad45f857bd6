#pragma once

#include "Orvik_BACnet/Codec/ReadRange.h"
#include "SimulatedObject.h"

#include <Poco/Timestamp.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::Device
{

/// A trend log of a device, whatever keeps its records: the ReadRange of its log buffer, answered the same
/// way for every kind (computed records, records kept in a file).
///
/// ReadRange: by position, by sequence number, by time (records strictly newer than the reference time
/// for a positive count, strictly older for a negative one) and read-all. By position and by sequence
/// number the reference record is the first (or last) one returned; a reference the buffer does not
/// hold (overwritten, or not yet logged) matches no record, except that a log answering overwritten
/// reads from its oldest record (overwrittenReadsFromOldest()) reads forward from its oldest record when
/// the sequence number given was overwritten. A reply holds no more records than recordsPerReply() of the
/// device's max APDU; RESULT_MORE_ITEMS says that more records matched. Sequence numbers go out as
/// Unsigned32: they wrap as the standard says.
class TrendLogObject : public SimulatedObject
{
public:
    using SimulatedObject::SimulatedObject;

    Codec::ServiceError readRange(const Codec::PropertyReference& ref, const Codec::ReadRange::Range& range,
                                  Poco::UInt32 maxApdu, const Poco::Timestamp& now,
                                  Codec::ReadRange::Ack& result) const;

    /// How many records fit into one ReadRange reply of `maxApdu` octets (at least 1).
    virtual Poco::UInt32 recordsPerReply(Poco::UInt32 maxApdu) const = 0;

protected:
    /// The oldest record held; above lastHeld() when the buffer is empty.
    virtual Poco::UInt64 firstHeld(const Poco::Timestamp& now) const = 0;
    virtual Poco::UInt64 lastHeld(const Poco::Timestamp& now) const = 0;
    /// The first sequence number whose time is after `time` (above every record held when none is).
    virtual Poco::UInt64 firstAfter(const Poco::Timestamp& time) const = 0;
    /// The last sequence number whose time is before `time` (0 when none is).
    virtual Poco::UInt64 lastBefore(const Poco::Timestamp& time) const = 0;
    /// Appends the log records of `first` to `last` (held) to `items`, in sequence order.
    virtual void appendRecords(Poco::UInt64 first, Poco::UInt64 last, ValueContainer& items) const = 0;
    virtual bool overwrittenReadsFromOldest() const { return false; }

    /// Octets of a ReadRange-ACK without its records: APDU header, object identifier, property, result
    /// flags, item count, the item data tags and the first sequence number.
    static const Poco::UInt32 _ACK_OVERHEAD = 25;
    /// A record without its datum: the time stamp (12), the datum's tags (2) and the status flags (3).
    static const Poco::UInt32 _RECORD_FRAME = 17;

private:
    class Span
    {
    public:
        Poco::Int64 first = 1;
        Poco::Int64 last = 0;
        bool fromEnd = false;  ///< a negative count: the records nearest the reference come first
    };

    Codec::ServiceError matchRange(const Codec::ReadRange::Range& range, const Poco::Timestamp& now,
                                   Span& span) const;
};

}  // namespace Orvik::BACnet::Device
