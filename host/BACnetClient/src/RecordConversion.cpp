#include "RecordConversion.h"

#include <algorithm>

namespace Orvik::BACnet::Client
{

Codec::PropertyReference RecordConversion::propertyOf(const DataPropertyRef& propertyRef)
{
    return Codec::PropertyReference(propertyRef.propertyIdentifier, propertyRef.arrayIndex);
}

DataPropertyRef RecordConversion::propertyRefOf(const Codec::PropertyReference& property)
{
    return DataPropertyRef(property.propertyId, property.arrayIndex);
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
        return DataResponseRPM::Value(propertyRefOf(result.property), result.error);
    return DataResponseRPM::Value(propertyRefOf(result.property), result.value);
}

DataResponseRPM RecordConversion::resultOf(const Codec::ReadPropertyMultiple::ObjectResult& result)
{
    DataResponseRPM response(result.objectIdentifier);
    response.values.reserve(result.results.size());
    for (const Codec::PropertyValue& value : result.results)
        response.values.push_back(resultOf(value));
    return response;
}

Codec::ReadProperty::Request RecordConversion::readPropertyOf(const DataPropertyKey& key)
{
    Codec::ReadProperty::Request request;
    request.objectIdentifier = key.objectIdentifier;
    request.property = propertyOf(key.propertyRef);
    return request;
}

Codec::ReadRange::Request RecordConversion::readRangeOf(const DataPropertyKey& key,
                                                        const ReadRange::Range& range)
{
    Codec::ReadRange::Request request;
    request.objectIdentifier = key.objectIdentifier;
    request.property = propertyOf(key.propertyRef);
    request.range = rangeOf(range);
    return request;
}

Codec::WriteProperty::Request RecordConversion::writePropertyOf(const DataPropertyKey& key,
                                                                Poco::UInt32 priority,
                                                                const ValueContainer& value)
{
    Codec::WriteProperty::Request request;
    request.objectIdentifier = key.objectIdentifier;
    request.property = propertyOf(key.propertyRef);
    request.value = value;
    // Beyond 255 stays out of range for whoever checks it.
    request.priority = static_cast<std::uint8_t>(std::min<Poco::UInt32>(priority, 255));
    return request;
}

Codec::SubscribeCOV::Request RecordConversion::subscriptionOf(
    const DataPropertyKey& key, const NotificationRequestSubscribeCOV::Parameters& parameters)
{
    Codec::SubscribeCOV::Request request;
    request.subscriberProcessIdentifier = parameters.subscriberProcessIdentifier;
    request.monitoredObjectIdentifier = key.objectIdentifier;
    request.cancellation = parameters.cancelation;
    request.issueConfirmedNotifications = parameters.confirmedNotification;
    request.lifetime = parameters.lifetime;
    request.hasProperty = key.propertyRef.propertyIdentifier != MAX_BACNET_PROPERTY_ID;
    if (request.hasProperty)
    {
        request.property = propertyOf(key.propertyRef);
        request.hasCovIncrement = parameters.covIncrementPresent;
        request.covIncrement = parameters.covIncrement;
    }
    return request;
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

}  // namespace Orvik::BACnet::Client
