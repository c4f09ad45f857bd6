#pragma once

#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnetClient/ReadRange.h"

namespace Orvik::BACnet::Client::IP
{

/// A ReadRange that asks for no more records than one unsegmented answer holds: the count (which the
/// apps may give as large as they like) is cut to the INTEGER16 range and to the records that fit into
/// the device's max APDU, at a conservative size per log record. An answer to a cut count that holds
/// every record asked for, without reaching the end of the buffer in the direction read, reports "more
/// items" (the device cannot know that the app wanted more), so the app pages on. When the device still
/// aborts the answer for its size, the count is halved and the request sent again, down to one record.
///
/// Throws Poco::InvalidArgumentException (from the constructor) for a count of 0 with a range.
class ReadRangeRequest : public ConfirmedRequest
{
public:
    /// Octets of one log record in an answer that the count is planned with (a time stamp, a REAL
    /// datum and status flags take about 22).
    static constexpr Poco::UInt32 _RECORD_OCTETS = 24;
    /// The rest of a ReadRange-ACK: header, object, property, flags, count, tags, sequence number.
    static constexpr Poco::UInt32 _ACK_OVERHEAD = 32;

    ReadRangeRequest(const DataPropertyKey& key, const ReadRange::Range& range);

    bool fitTo(Poco::UInt32 maxApdu, bool deviceSegments) override;
    Outcome takeAck(const Codec::OctetView& serviceData) override;
    Outcome takeError(const DataError& error) override;

private:
    void limitCount(Poco::Int32 limit);
    bool countWasCut() const { return _request.range.count != _requestedCount; }

    Codec::ReadRange::Request _request;
    /// The count the app asked for.
    const Poco::Int32 _requestedCount;
};

}  // namespace Orvik::BACnet::Client::IP
