#include "TrendLogObject.h"

#include <Poco/Exception.h>

#include <algorithm>

namespace Orvik::BACnet::Device
{

namespace
{

Codec::ServiceError requestError()
{
    return Codec::ServiceError(ERROR_CLASS_SERVICES, ERROR_CODE_INCONSISTENT_PARAMETERS);
}

}  // namespace

Codec::ServiceError TrendLogObject::readRange(const Codec::PropertyReference& ref,
                                              const Codec::ReadRange::Range& range, Poco::UInt32 maxApdu,
                                              const Poco::Timestamp& now, Codec::ReadRange::Ack& result) const
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
    if (sent > 0)
        appendRecords(static_cast<Poco::UInt64>(span.first), static_cast<Poco::UInt64>(span.last),
                      result.items);
    result.items.setDataType(BACNET_DT_LOG_RECORD);
    result.itemCount = static_cast<Poco::UInt32>(sent);
    if (sent > 0)
    {
        result.firstSequenceNumber = static_cast<Poco::UInt32>(span.first);
        if (static_cast<Poco::UInt64>(span.first) == firstHeld(now))
            result.resultFlags |= Codec::ReadRange::FIRST_ITEM;
        if (static_cast<Poco::UInt64>(span.last) == lastHeld(now))
            result.resultFlags |= Codec::ReadRange::LAST_ITEM;
        if (sent < matched)
            result.resultFlags |= Codec::ReadRange::MORE_ITEMS;
    }
    return Codec::ServiceError();
}

Codec::ServiceError TrendLogObject::matchRange(const Codec::ReadRange::Range& range,
                                               const Poco::Timestamp& now, Span& span) const
{
    const auto first = static_cast<Poco::Int64>(firstHeld(now));
    const auto last = static_cast<Poco::Int64>(lastHeld(now));
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
            if (overwrittenReadsFromOldest() && count > 0 && range.referenceSequenceNumber < first &&
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
                reference = count > 0 ? std::max(first, static_cast<Poco::Int64>(firstAfter(time)))
                                      : std::min(last, static_cast<Poco::Int64>(lastBefore(time)));
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

}  // namespace Orvik::BACnet::Device
