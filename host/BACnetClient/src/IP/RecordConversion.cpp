#include "RecordConversion.h"

namespace Orvik::BACnet::Client::IP
{

Codec::PropertyReference RecordConversion::propertyOf(const DataPropertyRef& propertyRef)
{
    return Codec::PropertyReference(propertyRef.propertyIdentifier, propertyRef.arrayIndex);
}

DataPropertyRef RecordConversion::propertyRefOf(const Codec::PropertyReference& property)
{
    return DataPropertyRef(property.propertyId, property.arrayIndex);
}

DataError RecordConversion::errorOf(const Codec::ServiceError& error)
{
    return DataError(error.errorClass, error.errorCode);
}

std::vector<Codec::ReadPropertyMultiple::ObjectRequest> RecordConversion::objectRequestsOf(
    const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    std::vector<Codec::ReadPropertyMultiple::ObjectRequest> requests;
    requests.reserve(parameters.size());
    for (const NotificationRequestRPM::Parameter& parameter : parameters)
    {
        Codec::ReadPropertyMultiple::ObjectRequest request;
        request.objectIdentifier = parameter.objectIdentifier;
        for (const DataPropertyRef& propertyRef : parameter.propertyRefs)
            request.properties.push_back(propertyOf(propertyRef));
        requests.push_back(std::move(request));
    }
    return requests;
}

DataResponseRPM::Value RecordConversion::resultOf(const Codec::PropertyValue& result)
{
    if (result.hasError())
        return DataResponseRPM::Value(propertyRefOf(result.property), errorOf(result.error));
    return DataResponseRPM::Value(propertyRefOf(result.property), result.value);
}

Codec::ReadRange::Range RecordConversion::rangeOf(const ReadRange::Range& range)
{
    Codec::ReadRange::Range wire;
    wire.type = static_cast<Codec::ReadRange::RangeType>(range.requestType);
    wire.referenceIndex = range.refIndex;
    wire.referenceSequenceNumber = range.refSeqNum;
    wire.referenceTime = range.refTime;
    wire.count = range.count;
    return wire;
}

ReadRangeAck::Result RecordConversion::resultOf(const Codec::ReadRange::Ack& ack)
{
    ReadRangeAck::Result result;
    result.value = ack.items;
    result.resultFlags = ack.resultFlags;
    result.itemCnt = ack.itemCount;
    result.firstSequenceNumber = ack.hasFirstSequenceNumber ? ack.firstSequenceNumber : 0;
    return result;
}

DataResponseCOV RecordConversion::notificationOf(const Codec::COVNotification& notification, bool confirmed)
{
    DataResponseCOV cov;
    cov.subscriberProcessIdentifier = notification.subscriberProcessIdentifier;
    cov.initiatingDeviceInstance = notification.initiatingDeviceIdentifier.getInstance();
    cov.monitoredObjectIdentifier = notification.monitoredObjectIdentifier;
    cov.timeRemaining = notification.timeRemaining;
    cov.confirmed = confirmed;
    for (const Codec::PropertyValue& value : notification.values)
    {
        if (!value.hasError())
            cov.values.emplace_back(propertyRefOf(value.property), value.value);
    }
    return cov;
}

}  // namespace Orvik::BACnet::Client::IP
