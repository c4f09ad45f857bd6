#include "SimulatedTrendLog.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <cmath>

namespace Orvik::BACnet::Device
{

namespace
{

/// ReadRange-ACK without its records: APDU header, object identifier, property, result flags, item
/// count, the item data tags and the first sequence number.
const Poco::UInt32 ACK_OVERHEAD = 25;
/// A record without its data: the time stamp (12), the datum's tags (2) and the status flags (3).
const Poco::UInt32 RECORD_FRAME = 17;
/// A trend log multiple's record adds the tags of its list of data.
const Poco::UInt32 MULTIPLE_RECORD_FRAME = 2;

Poco::UInt32 encodedDatumSize(BACnetDataType dataType)
{
    return dataType == BACNET_DT_BOOLEAN || dataType == BACNET_DT_ENUMERATED ? 2 : 5;
}

void setDatum(DataType::BACnetLogRecord& record, BACnetDataType dataType, double value)
{
    switch (dataType)
    {
        case BACNET_DT_BOOLEAN:
            record.setBoolean(value >= 0.5);
            break;
        case BACNET_DT_ENUMERATED:
            record.setEnumerated(value >= 0.5 ? static_cast<Poco::UInt32>(std::lround(value)) : 0);
            break;
        case BACNET_DT_UNSIGNED:
            record.setUnsigned(value <= 0.0 ? 0 : static_cast<Poco::UInt64>(std::llround(value)));
            break;
        case BACNET_DT_SIGNED:
            record.setSigned(std::llround(value));
            break;
        default:
            record.setReal(static_cast<float>(value));
            break;
    }
}

Codec::ServiceError requestError()
{
    return Codec::ServiceError(ERROR_CLASS_SERVICES, ERROR_CODE_INCONSISTENT_PARAMETERS);
}

}  // namespace

SimulatedTrendLog::SimulatedTrendLog(const DataType::ObjectIdentifier& identifier, const std::string& name,
                                     std::vector<Channel> channels, const SimulatedLogSeries& series)
    : SimulatedObject(identifier, name), _channels(std::move(channels)), _series(series)
{
    ValueContainer value;
    value.setBitString(DataType::BitString(4));
    setProperty(PROP_STATUS_FLAGS, value);
    value.setEnum(EVENT_STATE_NORMAL);
    setProperty(PROP_EVENT_STATE, value);
    value.setBool(true);
    setProperty(PROP_ENABLE, value);
    value.setBool(false);
    setProperty(PROP_STOP_WHEN_FULL, value);
    value.setUInt(series.getSettings().bufferSize == 0 ? series.getSettings().count
                                                       : series.getSettings().bufferSize);
    setProperty(PROP_BUFFER_SIZE, value);
    addDynamicProperty(PROP_LOG_BUFFER);
    addDynamicProperty(PROP_RECORD_COUNT);
    addDynamicProperty(PROP_TOTAL_RECORD_COUNT);
    value.setEnum(LOGGING_TYPE_POLLED);
    setProperty(PROP_LOGGING_TYPE, value);
    value.setUInt(static_cast<Poco::UInt64>(_series.getSettings().interval.totalMicroseconds() / 10000));
    setProperty(PROP_LOG_INTERVAL, value);
    value.setBool(false);
    setProperty(PROP_ALIGN_INTERVALS, value);
    value.setUInt(0);
    setProperty(PROP_INTERVAL_OFFSET, value);
    value.clear();
    if (isMultiple())
    {
        std::vector<DataType::BACnetDeviceObjectPropertyReference> references;
        for (const Channel& channel : _channels)
            references.push_back(channel.reference);
        value.setValues(references, BACNET_DTS_ARRAY);
    }
    else if (!_channels.empty())
    {
        value.setValue(_channels.front().reference);
    }
    setProperty(PROP_LOG_DEVICE_OBJECT_PROPERTY, value);
}

Codec::ServiceError SimulatedTrendLog::readRange(const Codec::PropertyReference& ref,
                                                 const Codec::ReadRange::Range& range, Poco::UInt32 maxApdu,
                                                 const Poco::Timestamp& now,
                                                 Codec::ReadRange::Ack& result) const
{
    result = Codec::ReadRange::Ack();
    if (ref.propertyId != PROP_LOG_BUFFER)
    {
        return hasProperty(ref.propertyId)
                   ? Codec::ServiceError(ERROR_CLASS_SERVICES, ERROR_CODE_PROPERTY_IS_NOT_A_LIST)
                   : propertyError(ERROR_CODE_UNKNOWN_PROPERTY);
    }
    if (ref.hasArrayIndex())
        return propertyError(ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY);
    Span span;
    const Codec::ServiceError error = matchRange(range, now, span);
    if (error.hasError())
        return error;

    const Poco::Int64 matched = std::max<Poco::Int64>(span.last - span.first + 1, 0);
    const Poco::Int64 sent = std::min<Poco::Int64>(matched, recordsPerReply(maxApdu));
    if (span.fromEnd)
        span.first = span.last - sent + 1;
    else
        span.last = span.first + sent - 1;

    result.items.setStructure(BACNET_DTS_LIST);
    result.items.reserve(static_cast<std::size_t>(sent) * _channels.size());
    for (Poco::Int64 sequenceNumber = span.first; sequenceNumber <= span.last; ++sequenceNumber)
    {
        const auto number = static_cast<Poco::UInt64>(sequenceNumber);
        for (const DataType::BACnetLogRecord& record :
             records(number, _localTime.toLocal(_series.timeOf(number))))
            result.items.append(BACnetValue(record));
    }
    result.items.setDataType(BACNET_DT_LOG_RECORD);
    result.itemCount = static_cast<Poco::UInt32>(sent);
    if (sent > 0)
    {
        result.firstSequenceNumber = static_cast<Poco::UInt32>(span.first);
        if (static_cast<Poco::UInt64>(span.first) == _series.firstHeld(now))
            result.resultFlags |= Codec::ReadRange::FIRST_ITEM;
        if (static_cast<Poco::UInt64>(span.last) == _series.lastHeld(now))
            result.resultFlags |= Codec::ReadRange::LAST_ITEM;
        if (sent < matched)
            result.resultFlags |= Codec::ReadRange::MORE_ITEMS;
    }
    return Codec::ServiceError();
}

Codec::ServiceError SimulatedTrendLog::matchRange(const Codec::ReadRange::Range& range,
                                                  const Poco::Timestamp& now, Span& span) const
{
    const auto first = static_cast<Poco::Int64>(_series.firstHeld(now));
    const auto last = static_cast<Poco::Int64>(_series.lastHeld(now));
    const Poco::Int64 count = range.count;
    if (range.type == Codec::ReadRange::READ_ALL)
    {
        span.first = first;
        span.last = last;
        return Codec::ServiceError();
    }
    if (count == 0)
        return requestError();
    span.fromEnd = count < 0;
    Poco::Int64 reference = 0;
    switch (range.type)
    {
        case Codec::ReadRange::BY_POSITION:
            if (range.referenceIndex < 1 || static_cast<Poco::Int64>(range.referenceIndex) > last - first + 1)
                return Codec::ServiceError();  // no such position: no records
            reference = first + range.referenceIndex - 1;
            break;
        case Codec::ReadRange::BY_SEQUENCE_NUMBER:
            if (_overwrittenReadsFromOldest && count > 0 && range.referenceSequenceNumber < first &&
                first <= last)
                reference = first;
            else if (range.referenceSequenceNumber < first || range.referenceSequenceNumber > last)
                return Codec::ServiceError();  // not held: no records
            else
                reference = range.referenceSequenceNumber;
            break;
        case Codec::ReadRange::BY_TIME:
            try
            {
                const Poco::Timestamp time = range.referenceTime.toTimestamp();
                // By time the reference record itself never matches: start after (or before) the time.
                // A time outside the records held starts at the nearest record held in the reading
                // direction: the oldest held when reading forward, the newest when reading back.
                reference = count > 0 ? std::max(first, static_cast<Poco::Int64>(_series.firstAfter(time)))
                                      : std::min(last, static_cast<Poco::Int64>(_series.lastBefore(time)));
            }
            catch (const Poco::Exception&)
            {
                return requestError();
            }
            break;
        default:
            return requestError();
    }
    if (count > 0)
    {
        span.first = std::max(first, reference);
        span.last = std::min(last, reference + count - 1);
    }
    else
    {
        span.first = std::max(first, reference + count + 1);
        span.last = std::min(last, reference);
    }
    return Codec::ServiceError();
}

std::vector<DataType::BACnetLogRecord> SimulatedTrendLog::records(Poco::UInt64 sequenceNumber) const
{
    return records(sequenceNumber, DataType::BACnetDateTime(_series.timeOf(sequenceNumber)));
}

std::vector<DataType::BACnetLogRecord> SimulatedTrendLog::records(Poco::UInt64 sequenceNumber,
                                                                  const DataType::BACnetDateTime& time) const
{
    std::vector<DataType::BACnetLogRecord> records;
    records.reserve(_channels.size());
    for (std::size_t channel = 0; channel < _channels.size(); ++channel)
    {
        DataType::BACnetLogRecord record;
        record.setDateTime(time);
        setDatum(record, _channels[channel].dataType,
                 _series.valueOf(sequenceNumber, static_cast<Poco::UInt32>(channel)));
        // A trend log multiple's record has no status flags: the wire format has no place for them.
        if (!isMultiple())
            record.setStatusFlags(DataType::BitString(4));
        records.push_back(record);
    }
    return records;
}

Poco::UInt32 SimulatedTrendLog::recordsPerReply(Poco::UInt32 maxApdu) const
{
    Poco::UInt32 recordSize = RECORD_FRAME + (isMultiple() ? MULTIPLE_RECORD_FRAME : 0);
    for (const Channel& channel : _channels)
        recordSize += encodedDatumSize(channel.dataType);
    if (maxApdu <= ACK_OVERHEAD + recordSize)
        return 1;
    return (maxApdu - ACK_OVERHEAD) / recordSize;
}

Codec::ServiceError SimulatedTrendLog::readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                                   ValueContainer& out) const
{
    switch (property)
    {
        case PROP_LOG_BUFFER:
            return propertyError(ERROR_CODE_READ_ACCESS_DENIED);
        case PROP_RECORD_COUNT:
            out.setUInt(_series.lastHeld(now) + 1 - _series.firstHeld(now));
            return Codec::ServiceError();
        case PROP_TOTAL_RECORD_COUNT:
            out.setUInt(_series.total(now) & 0xFFFFFFFFu);
            return Codec::ServiceError();
        default:
            return SimulatedObject::readDynamic(property, now, out);
    }
}

}  // namespace Orvik::BACnet::Device
