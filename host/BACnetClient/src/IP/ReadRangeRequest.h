#pragma once

#include "ConfirmedRequest.h"
#include "LogRecordSizes.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"

#include <memory>

namespace Orvik::BACnet::Client::IP
{

/// A ReadRange that asks for no more records than one unsegmented answer holds: the count (which the
/// apps may give as large as they like) is cut to the INTEGER16 range and to the records that fit into
/// the device's max APDU. The first page of a log is planned at a conservative size per log record;
/// later pages at the largest size per record that the log's answers took (LogRecordSizes), so they
/// come as full as the device allows, and no fuller for logs with larger records (several channels, bit
/// strings). An answer to a cut count that holds every record asked for, without reaching the end of
/// the buffer in the direction read, reports "more items" (the device cannot know that the app wanted
/// more), so the app pages on. When the device still aborts the answer for its size, the count is
/// halved and the request sent again, down to one record.
///
/// Throws Poco::InvalidArgumentException (from the constructor) for a count of 0 with a range.
class ReadRangeRequest : public ConfirmedRequest
{
public:
    /// Octets of one log record in an answer that the count is planned with until the log's answers
    /// tell (a time stamp, a REAL datum and status flags take about 22).
    static constexpr Poco::UInt32 _RECORD_OCTETS = 24;
    /// The rest of a ReadRange-ACK at most: header, object, property, flags, count, tags, sequence
    /// number.
    static constexpr Poco::UInt32 _ACK_OVERHEAD = 32;

    /// `pRecordSizes` is shared: the answer may be read after the network is gone.
    ReadRangeRequest(const DataPropertyKey& key, const ReadRange::Range& range,
                     std::shared_ptr<LogRecordSizes> pRecordSizes);

    bool fitTo(Poco::UInt32 maxApdu, bool deviceSegments) override;
    Outcome takeAck(const Codec::OctetView& serviceData) override;
    Outcome takeError(const DataError& error) override;
    /// A size error may send the request again, an ACK never does.
    bool ackEndsTransaction() const override { return true; }

private:
    /// Sets the count for a device of `maxApdu`, within what the size errors left.
    void planCount(Poco::UInt32 maxApdu);
    void setCountLimit(Poco::Int32 limit);
    Poco::Int32 recordsFitting(Poco::UInt32 maxApdu) const;
    void learnRecordSize(const ReadRangeAck::Result& result, std::size_t answerOctets);
    bool countWasCut() const { return _request.range.count != _requestedCount; }

    Codec::ReadRange::Request _request;
    /// The count the app asked for.
    const Poco::Int32 _requestedCount;
    /// Halved by each size error of the device.
    Poco::Int32 _sizeLimit;
    const std::shared_ptr<LogRecordSizes> _pRecordSizes;
};

}  // namespace Orvik::BACnet::Client::IP
