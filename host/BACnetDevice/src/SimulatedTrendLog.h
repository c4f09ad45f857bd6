#pragma once

#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/LocalTimeConverter.h"
#include "SimulatedLogSeries.h"
#include "TrendLogObject.h"

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
/// ReadRange as TrendLogObject answers it; a reply holds no more records than fit into the device's max
/// APDU, estimated from the encoded record size (22 octets for a REAL record, 65 records for 1476 octets).
class SimulatedTrendLog : public TrendLogObject
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

    /// The log records of one sequence number (one per channel).
    std::vector<DataType::BACnetLogRecord> records(Poco::UInt64 sequenceNumber) const;
    Poco::UInt32 recordsPerReply(Poco::UInt32 maxApdu) const override;

protected:
    Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                    ValueContainer& out) const override;
    Poco::UInt64 firstHeld(const Poco::Timestamp& now) const override { return _series.firstHeld(now); }
    Poco::UInt64 lastHeld(const Poco::Timestamp& now) const override { return _series.lastHeld(now); }
    Poco::UInt64 firstAfter(const Poco::Timestamp& time) const override { return _series.firstAfter(time); }
    Poco::UInt64 lastBefore(const Poco::Timestamp& time) const override { return _series.lastBefore(time); }
    void appendRecords(Poco::UInt64 first, Poco::UInt64 last, ValueContainer& items) const override;
    bool overwrittenReadsFromOldest() const override { return _overwrittenReadsFromOldest; }

private:
    std::vector<DataType::BACnetLogRecord> records(Poco::UInt64 sequenceNumber,
                                                   const DataType::BACnetDateTime& time) const;

    const std::vector<Channel> _channels;
    SimulatedLogSeries _series;
    bool _overwrittenReadsFromOldest = false;
    /// The records' local times, page after page (used under the site's lock, as every read is).
    mutable LocalTimeConverter _localTime;
};

}  // namespace Orvik::BACnet::Device
