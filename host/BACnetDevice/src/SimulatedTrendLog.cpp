#include "SimulatedTrendLog.h"

#include <cmath>

namespace Orvik::BACnet::Device
{

namespace
{

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

}  // namespace

SimulatedTrendLog::SimulatedTrendLog(const DataType::ObjectIdentifier& identifier, const std::string& name,
                                     std::vector<Channel> channels, const SimulatedLogSeries& series)
    : TrendLogObject(identifier, name), _channels(std::move(channels)), _series(series)
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

void SimulatedTrendLog::appendRecords(Poco::UInt64 first, Poco::UInt64 last, ValueContainer& items) const
{
    items.reserve(static_cast<std::size_t>(last - first + 1) * _channels.size());
    for (Poco::UInt64 number = first; number <= last; ++number)
    {
        for (const DataType::BACnetLogRecord& record :
             records(number, _localTime.toLocal(_series.timeOf(number))))
            items.append(BACnetValue(record));
    }
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
    Poco::UInt32 recordSize = _RECORD_FRAME + (isMultiple() ? MULTIPLE_RECORD_FRAME : 0);
    for (const Channel& channel : _channels)
        recordSize += encodedDatumSize(channel.dataType);
    if (maxApdu <= _ACK_OVERHEAD + recordSize)
        return 1;
    return (maxApdu - _ACK_OVERHEAD) / recordSize;
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
