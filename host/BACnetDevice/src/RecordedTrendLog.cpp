#include "RecordedTrendLog.h"

namespace Orvik::BACnet::Device
{

namespace
{

/// The largest datum: a bit string of 64 bits (tag, length, unused bits, 8 octets).
const Poco::UInt32 LARGEST_DATUM = 11;

/// A date and time of wildcards: no start or stop time.
ValueContainer anyTime()
{
    DataType::BACnetDateTime dateTime;
    dateTime.date = DataType::Date(DataType::Date::_YEAR_UNSPECIFIED, DataType::Date::_UNSPECIFIED,
                                   DataType::Date::_UNSPECIFIED, DataType::Date::_UNSPECIFIED);
    dateTime.time = DataType::Time(DataType::Time::_UNSPECIFIED, DataType::Time::_UNSPECIFIED,
                                   DataType::Time::_UNSPECIFIED, DataType::Time::_UNSPECIFIED);
    ValueContainer value;
    value.setValue(dateTime);
    return value;
}

}  // namespace

RecordedTrendLog::RecordedTrendLog(const std::string& name, const LogStore::Log& log,
                                   std::shared_ptr<LogStore> pStore)
    : TrendLogObject(DataType::ObjectIdentifier(OBJECT_TREND_LOG, log.instance), name),
      _pStore(std::move(pStore))
{
    ValueContainer value;
    value.setBitString(DataType::BitString(4));
    setProperty(PROP_STATUS_FLAGS, value);
    value.setEnum(EVENT_STATE_NORMAL);
    setProperty(PROP_EVENT_STATE, value);
    addDynamicProperty(PROP_ENABLE);
    addDynamicProperty(PROP_TRIGGER);
    setProperty(PROP_START_TIME, anyTime());
    setProperty(PROP_STOP_TIME, anyTime());
    value.clear();
    value.setValue(log.reference);
    setProperty(PROP_LOG_DEVICE_OBJECT_PROPERTY, value);
    value.setUInt(static_cast<Poco::UInt64>(log.interval.totalMicroseconds() / 10000));
    setProperty(PROP_LOG_INTERVAL, value);
    value.setEnum(log.cov ? LOGGING_TYPE_COV : log.triggered ? LOGGING_TYPE_TRIGGERED : LOGGING_TYPE_POLLED);
    setProperty(PROP_LOGGING_TYPE, value);
    value.setUInt(log.resubscriptionSeconds);
    setProperty(PROP_COV_RESUBSCRIPTION_INTERVAL, value);
    value.setBool(log.stopWhenFull);
    setProperty(PROP_STOP_WHEN_FULL, value);
    value.setUInt(log.bufferSize);
    setProperty(PROP_BUFFER_SIZE, value);
    addDynamicProperty(PROP_LOG_BUFFER);
    addDynamicProperty(PROP_RECORD_COUNT);
    addDynamicProperty(PROP_TOTAL_RECORD_COUNT);
    value.setBool(true);
    setProperty(PROP_ALIGN_INTERVALS, value);
    value.setUInt(0);
    setProperty(PROP_INTERVAL_OFFSET, value);
}

Codec::ServiceError RecordedTrendLog::write(const Codec::PropertyReference& ref, Poco::UInt32 priority,
                                            const ValueContainer& value)
{
    if (ref.propertyId != PROP_ENABLE && ref.propertyId != PROP_RECORD_COUNT &&
        ref.propertyId != PROP_TRIGGER)
        return TrendLogObject::write(ref, priority, value);
    if (ref.hasArrayIndex())
        return propertyError(ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY);
    const Poco::Timestamp now;
    if (ref.propertyId == PROP_RECORD_COUNT)
    {
        if (!holdsSingle(value, BACNET_DT_UNSIGNED))
            return propertyError(ERROR_CODE_INVALID_DATA_TYPE);
        if (value.getUInt() != 0)
            return propertyError(ERROR_CODE_VALUE_OUT_OF_RANGE);
        _pStore->purge(instance(), now);
        return Codec::ServiceError();
    }
    if (!holdsSingle(value, BACNET_DT_BOOLEAN))
        return propertyError(ERROR_CODE_INVALID_DATA_TYPE);
    // A trigger of FALSE asks for nothing: it turns FALSE by itself once the record is being read.
    if (ref.propertyId == PROP_TRIGGER && value.getBool())
        _pStore->trigger(instance());
    if (ref.propertyId == PROP_ENABLE && !_pStore->setEnabled(instance(), value.getBool(), now))
        return Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_LOG_BUFFER_FULL);
    return Codec::ServiceError();
}

Poco::UInt32 RecordedTrendLog::recordsPerReply(Poco::UInt32 maxApdu) const
{
    const Poco::UInt32 recordSize = _RECORD_FRAME + LARGEST_DATUM;
    if (maxApdu <= _ACK_OVERHEAD + recordSize)
        return 1;
    return (maxApdu - _ACK_OVERHEAD) / recordSize;
}

Codec::ServiceError RecordedTrendLog::readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                                  ValueContainer& out) const
{
    const LogStore::State state = _pStore->state(instance());
    switch (property)
    {
        case PROP_LOG_BUFFER:
            return propertyError(ERROR_CODE_READ_ACCESS_DENIED);
        case PROP_ENABLE:
            out.setBool(state.enabled);
            return Codec::ServiceError();
        case PROP_TRIGGER:
            out.setBool(state.triggered);
            return Codec::ServiceError();
        case PROP_RECORD_COUNT:
            out.setUInt(state.last + 1 - state.first);
            return Codec::ServiceError();
        case PROP_TOTAL_RECORD_COUNT:
            // Unsigned32 on the wire: it wraps as the sequence numbers do.
            out.setUInt(state.last & 0xFFFFFFFFu);
            return Codec::ServiceError();
        default:
            return TrendLogObject::readDynamic(property, now, out);
    }
}

Poco::UInt64 RecordedTrendLog::firstHeld(const Poco::Timestamp&) const
{
    return _pStore->state(instance()).first;
}

Poco::UInt64 RecordedTrendLog::lastHeld(const Poco::Timestamp&) const
{
    return _pStore->state(instance()).last;
}

Poco::UInt64 RecordedTrendLog::firstAfter(const Poco::Timestamp& time) const
{
    return _pStore->firstAfter(instance(), time);
}

Poco::UInt64 RecordedTrendLog::lastBefore(const Poco::Timestamp& time) const
{
    return _pStore->lastBefore(instance(), time);
}

void RecordedTrendLog::appendRecords(Poco::UInt64 first, Poco::UInt64 last, ValueContainer& items) const
{
    for (LogStore::Record& record : _pStore->read(instance(), first, last))
    {
        record.datum.setDateTime(_localTime.toLocal(record.time));
        items.append(BACnetValue(record.datum));
    }
}

}  // namespace Orvik::BACnet::Device
