#pragma once

#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/LocalTimeConverter.h"
#include "SimulatedLogSeries.h"
#include "SimulatedObject.h"

namespace Orvik::BACnet::Device
{

/// A trend log or trend log multiple of a simulated device. Its log buffer comes from a
/// SimulatedLogSeries; record-count and total-record-count follow it. The log buffer cannot be read
/// with ReadProperty (property / read-access-denied), only with ReadRange.
///
/// Records: a trend log's record is one BACnetLogRecord with the datum of the logged value's datatype
/// (REAL, ENUMERATED, BOOLEAN, UNSIGNED or SIGNED) and status flags. A trend log multiple's record
/// (BACnetLogMultipleRecord on the wire) is written as one BACnetLogRecord per channel, all with the
/// record's time; itemCnt and the sequence numbers still count whole records.
///
/// ReadRange: by position, by sequence number, by time (records strictly newer than the reference time
/// for a positive count, strictly older for a negative one) and read-all. By position and by sequence
/// number the reference record is the first (or last) one returned; a reference the buffer does not
/// hold (overwritten, or not yet logged) matches no record, except that a log answering overwritten
/// reads from its oldest record (as some devices do) reads forward from its oldest record when the
/// sequence number given was overwritten. A reply holds no more records
/// than fit into the device's max APDU, estimated from the encoded record size (22 octets for a REAL
/// record, 65 records for 1476 octets); RESULT_MORE_ITEMS says that more records matched.
class SimulatedTrendLog : public SimulatedObject
{
public:
    /// One logged property and the datatype of its value.
    class Channel
    {
    public:
        DataType::BACnetDeviceObjectPropertyReference reference;
        BACnetDataType dataType = BACNET_DT_REAL;
    };

    /// The object type of `identifier` (trend log or trend log multiple) decides the record form.
    SimulatedTrendLog(const DataType::ObjectIdentifier& identifier, const std::string& name,
                      std::vector<Channel> channels, const SimulatedLogSeries& series);

    const SimulatedLogSeries& getSeries() const { return _series; }
    /// The device clock moves by `step` just before record `sequenceNumber` (SimulatedLogSeries::Settings).
    void setClockStep(Poco::UInt64 sequenceNumber, const Poco::Timespan& step)
    {
        _series.setClockStep(sequenceNumber, step);
    }
    bool isMultiple() const { return getIdentifier().getObjectType() == OBJECT_TREND_LOG_MULTIPLE; }
    /// How a forward read by sequence number of an overwritten record is answered: from the oldest
    /// record held (true), or with no records (false, the default).
    void setOverwrittenReadsFromOldest(bool fromOldest) { _overwrittenReadsFromOldest = fromOldest; }

    Codec::ServiceError readRange(const Codec::PropertyReference& ref, const Codec::ReadRange::Range& range,
                                  Poco::UInt32 maxApdu, const Poco::Timestamp& now,
                                  Codec::ReadRange::Ack& result) const;

    /// The log records of one sequence number (one per channel).
    std::vector<DataType::BACnetLogRecord> records(Poco::UInt64 sequenceNumber) const;
    /// How many records fit into one ReadRange reply of `maxApdu` octets (at least 1).
    Poco::UInt32 recordsPerReply(Poco::UInt32 maxApdu) const;

protected:
    Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                    ValueContainer& out) const override;

private:
    class Span
    {
    public:
        Poco::Int64 first = 1;
        Poco::Int64 last = 0;
        bool fromEnd = false;  ///< a negative count: the records nearest the reference come first
    };

    std::vector<DataType::BACnetLogRecord> records(Poco::UInt64 sequenceNumber,
                                                   const DataType::BACnetDateTime& time) const;
    Codec::ServiceError matchRange(const Codec::ReadRange::Range& range, const Poco::Timestamp& now,
                                   Span& span) const;

    const std::vector<Channel> _channels;
    SimulatedLogSeries _series;
    bool _overwrittenReadsFromOldest = false;
    /// The records' local times, page after page (used under the site's lock, as every read is).
    mutable LocalTimeConverter _localTime;
};

}  // namespace Orvik::BACnet::Device
