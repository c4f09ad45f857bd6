#include "SimulatedDevice.h"

#include "SimulatedDeviceObject.h"
#include "TrendLogObject.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <cmath>
#include <type_traits>
#include <variant>

namespace Orvik::BACnet::Device
{

namespace
{

const BACNET_SERVICES_SUPPORTED SERVICES[] = {SERVICE_SUPPORTED_SUBSCRIBE_COV,
                                              SERVICE_SUPPORTED_READ_PROPERTY,
                                              SERVICE_SUPPORTED_READ_PROPERTY_MULTIPLE,
                                              SERVICE_SUPPORTED_WRITE_PROPERTY,
                                              SERVICE_SUPPORTED_I_AM,
                                              SERVICE_SUPPORTED_WHO_IS,
                                              SERVICE_SUPPORTED_READ_RANGE,
                                              SERVICE_SUPPORTED_SUBSCRIBE_COV_PROPERTY};
const std::size_t SERVICE_BITS = 50;

const BACNET_OBJECT_TYPE OBJECT_TYPES[] = {
    OBJECT_ANALOG_INPUT,       OBJECT_ANALOG_OUTPUT,      OBJECT_ANALOG_VALUE,   OBJECT_BINARY_INPUT,
    OBJECT_BINARY_OUTPUT,      OBJECT_BINARY_VALUE,       OBJECT_DEVICE,         OBJECT_MULTI_STATE_INPUT,
    OBJECT_MULTI_STATE_OUTPUT, OBJECT_MULTI_STATE_VALUE,  OBJECT_TREND_LOG,      OBJECT_ACCUMULATOR,
    OBJECT_PULSE_CONVERTER,    OBJECT_TREND_LOG_MULTIPLE, OBJECT_STRUCTURED_VIEW};
const std::size_t OBJECT_TYPE_BITS = 65;

// Answers go out in segments; segmented requests are refused with an abort, so the device says it
// transmits only and requesters keep their requests within one APDU.

bool isWholeObjectSet(BACNET_PROPERTY_ID property)
{
    return property == PROP_ALL || property == PROP_REQUIRED || property == PROP_OPTIONAL;
}

ValueContainer text(const std::string& value)
{
    ValueContainer container;
    container.setCharString(value);
    return container;
}

ValueContainer unsignedValue(Poco::UInt64 value)
{
    ValueContainer container;
    container.setUInt(value);
    return container;
}

ValueContainer enumerated(Poco::UInt32 value)
{
    ValueContainer container;
    container.setEnum(value);
    return container;
}

template <class Bits, std::size_t N>
ValueContainer bitString(const Bits (&bits)[N], std::size_t size)
{
    DataType::BitString string(size);
    for (Bits bit : bits)
        string.setBit(bit, true);
    ValueContainer container;
    container.setBitString(string);
    return container;
}

/// True when `current` moved from `last` by at least `increment` (0: by anything).
bool movedEnough(const ValueContainer& last, const ValueContainer& current, float increment)
{
    if (increment <= 0.0f || last.getDataType() != BACNET_DT_REAL || current.getDataType() != BACNET_DT_REAL)
        return last != current;
    return std::fabs(current.getReal() - last.getReal()) >= increment;
}

}  // namespace

SimulatedDevice::SimulatedDevice(const Identity& identity) : _identity(identity)
{
    _objects.push_back(std::make_unique<SimulatedDeviceObject>(
        DataType::ObjectIdentifier(OBJECT_DEVICE, identity.instance), identity.name, _objects));
    setDeviceProperties();
}

SimulatedDevice::~SimulatedDevice() = default;

void SimulatedDevice::setDeviceProperties()
{
    SimulatedObject& device = getDeviceObject();
    device.setProperty(PROP_SYSTEM_STATUS, enumerated(STATUS_OPERATIONAL));
    device.setProperty(PROP_VENDOR_NAME, text(_identity.vendorName));
    device.setProperty(PROP_VENDOR_IDENTIFIER, unsignedValue(_identity.vendorIdentifier));
    device.setProperty(PROP_MODEL_NAME, text(_identity.modelName));
    device.setProperty(PROP_FIRMWARE_REVISION, text("1.0"));
    device.setProperty(PROP_APPLICATION_SOFTWARE_VERSION, text("1.0"));
    device.setProperty(PROP_PROTOCOL_VERSION, unsignedValue(1));
    device.setProperty(PROP_PROTOCOL_REVISION, unsignedValue(14));
    device.setProperty(PROP_PROTOCOL_SERVICES_SUPPORTED, bitString(SERVICES, SERVICE_BITS));
    device.setProperty(PROP_PROTOCOL_OBJECT_TYPES_SUPPORTED, bitString(OBJECT_TYPES, OBJECT_TYPE_BITS));
    device.setProperty(PROP_MAX_APDU_LENGTH_ACCEPTED, unsignedValue(_identity.maxApdu));
    device.setProperty(PROP_SEGMENTATION_SUPPORTED, enumerated(_identity.segmentation));
    device.setProperty(PROP_APDU_TIMEOUT, unsignedValue(3000));
    device.setProperty(PROP_NUMBER_OF_APDU_RETRIES, unsignedValue(3));
    ValueContainer bindings;
    bindings.setStructure(BACNET_DTS_LIST);
    bindings.setDataType(BACNET_DT_ADDRESS_BINDING);
    device.setProperty(PROP_DEVICE_ADDRESS_BINDING, bindings);
    device.setProperty(PROP_DATABASE_REVISION, unsignedValue(1));
}

void SimulatedDevice::addObject(std::unique_ptr<SimulatedObject> pObject)
{
    if (findObject(pObject->getIdentifier()) != nullptr)
        throw Poco::ExistsException("Object " + pObject->getIdentifier().toString() + " twice in one device");
    _objects.push_back(std::move(pObject));
}

SimulatedObject* SimulatedDevice::findObject(const DataType::ObjectIdentifier& identifier) const
{
    auto it =
        std::find_if(_objects.begin(), _objects.end(),
                     [&identifier](const auto& pObject) { return pObject->getIdentifier() == identifier; });
    return it == _objects.end() ? nullptr : it->get();
}

SimulatedObject* SimulatedDevice::findObjectNamed(const std::string& name) const
{
    auto it = std::find_if(_objects.begin(), _objects.end(),
                           [&name](const auto& pObject) { return pObject->getName() == name; });
    return it == _objects.end() ? nullptr : it->get();
}

bool SimulatedDevice::answersWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                   Poco::UInt32 highLimit) const
{
    if (_silent || _identity.instance < lowLimit || _identity.instance > highLimit)
        return false;
    if (destination.isGlobalBroadcast())
        return true;
    if (destination.isBroadcast())
        return destination.getNetworkNumber() == _identity.address.getNetworkNumber();
    return destination == _identity.address;
}

Codec::IAm SimulatedDevice::iAm() const
{
    Codec::IAm iAm;
    iAm.deviceIdentifier = DataType::ObjectIdentifier(OBJECT_DEVICE, _identity.instance);
    iAm.maxApduLengthAccepted = _identity.maxApdu;
    iAm.segmentation = _identity.segmentation;
    iAm.vendorId = _identity.vendorIdentifier;
    return iAm;
}

// ---- services ----------------------------------------------------------------------------------------

std::optional<ServiceReply> SimulatedDevice::serve(const ServiceRequest& request,
                                                   const DataType::BACnetAddress& requester,
                                                   const Poco::Timestamp& now)
{
    return std::visit(
        [&](const auto& payload) -> std::optional<ServiceReply>
        {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, Codec::ReadProperty::Request>)
                return readProperty(payload, now);
            else if constexpr (std::is_same_v<Payload, Codec::ReadRange::Request>)
                return readRange(payload, now);
            else if constexpr (std::is_same_v<Payload, Codec::WriteProperty::Request>)
                return writeProperty(payload);
            else if constexpr (std::is_same_v<Payload, Codec::SubscribeCOV::Request>)
                return subscribeCOV(payload, requester, now);
            else
                return readPropertyMultiple(payload, now);
        },
        request.payload);
}

std::optional<ServiceReply> SimulatedDevice::readProperty(const Codec::ReadProperty::Request& request,
                                                          const Poco::Timestamp& now)
{
    const auto struck =
        strike(SimulatedFault::READ_PROPERTY, request.objectIdentifier, request.property.propertyId);
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(request.objectIdentifier);
    if (pObject == nullptr)
        return ServiceReply(Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    Codec::ReadProperty::Ack ack;
    ack.objectIdentifier = request.objectIdentifier;
    ack.property = request.property;
    const Codec::ServiceError error = pObject->read(request.property, now, ack.value);
    if (error.hasError())
        return ServiceReply(error);
    return ServiceReply(std::move(ack));
}

std::optional<ServiceReply> SimulatedDevice::readPropertyMultiple(
    const std::vector<Codec::ReadPropertyMultiple::ObjectRequest>& request, const Poco::Timestamp& now)
{
    const auto struck = strikeWholeRPM(request);
    if (struck)
        return replyTo(struck);
    std::vector<Codec::ReadPropertyMultiple::ObjectResult> results;
    for (const Codec::ReadPropertyMultiple::ObjectRequest& objectRequest : request)
        results.push_back(readObject(objectRequest, now));
    return ServiceReply(std::move(results));
}

std::optional<ServiceReply> SimulatedDevice::readRange(const Codec::ReadRange::Request& request,
                                                       const Poco::Timestamp& now)
{
    const auto struck =
        strike(SimulatedFault::READ_RANGE, request.objectIdentifier, request.property.propertyId);
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(request.objectIdentifier);
    if (pObject == nullptr)
        return ServiceReply(Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    const auto* pTrendLog = dynamic_cast<const TrendLogObject*>(pObject);
    if (pTrendLog == nullptr)
    {
        return ServiceReply(pObject->hasProperty(request.property.propertyId)
                                ? Codec::ServiceError(ERROR_CLASS_SERVICES, ERROR_CODE_PROPERTY_IS_NOT_A_LIST)
                                : SimulatedObject::propertyError(ERROR_CODE_UNKNOWN_PROPERTY));
    }
    Codec::ReadRange::Ack ack;
    const Codec::ServiceError error =
        pTrendLog->readRange(request.property, request.range, _identity.maxApdu, now, ack);
    if (error.hasError())
        return ServiceReply(error);
    ack.objectIdentifier = request.objectIdentifier;
    ack.property = request.property;
    // The first sequence number goes with the ranges that name records by sequence number or time.
    ack.hasFirstSequenceNumber =
        ack.itemCount > 0 && (request.range.type == Codec::ReadRange::BY_SEQUENCE_NUMBER ||
                              request.range.type == Codec::ReadRange::BY_TIME);
    return ServiceReply(std::move(ack));
}

std::optional<ServiceReply> SimulatedDevice::writeProperty(const Codec::WriteProperty::Request& request)
{
    const auto struck =
        strike(SimulatedFault::WRITE_PROPERTY, request.objectIdentifier, request.property.propertyId);
    if (struck)
        return replyTo(struck);
    SimulatedObject* pObject = findObject(request.objectIdentifier);
    if (pObject == nullptr)
        return ServiceReply(Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    const Codec::ServiceError error = pObject->write(request.property, request.priority, request.value);
    if (error.hasError())
        return ServiceReply(error);
    return ServiceReply(ServiceReply::SimpleAck());
}

std::optional<ServiceReply> SimulatedDevice::subscribeCOV(const Codec::SubscribeCOV::Request& request,
                                                          const DataType::BACnetAddress& requester,
                                                          const Poco::Timestamp& now)
{
    const BACNET_PROPERTY_ID property =
        request.hasProperty ? request.property.propertyId : MAX_BACNET_PROPERTY_ID;
    const auto struck =
        strike(SimulatedFault::SUBSCRIBE_COV, request.monitoredObjectIdentifier,
               request.hasProperty ? std::optional<BACNET_PROPERTY_ID>(property) : std::nullopt);
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(request.monitoredObjectIdentifier);
    if (pObject == nullptr)
        return ServiceReply(Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));

    auto same = [&](const Subscription& s)
    {
        return s.subscriber == requester && s.processIdentifier == request.subscriberProcessIdentifier &&
               s.object == request.monitoredObjectIdentifier && s.property == property;
    };
    const auto renewed = std::remove_if(_subscriptions.begin(), _subscriptions.end(), same);
    const bool isRenewal = renewed != _subscriptions.end();
    _subscriptions.erase(renewed, _subscriptions.end());
    if (request.cancellation)
        return ServiceReply(ServiceReply::SimpleAck());

    if (request.hasProperty && !pObject->hasProperty(property))
        return ServiceReply(SimulatedObject::propertyError(ERROR_CODE_UNKNOWN_PROPERTY));
    if (pObject->covValues(property, now).empty())
    {
        return ServiceReply(
            request.hasProperty
                ? SimulatedObject::propertyError(ERROR_CODE_NOT_COV_PROPERTY)
                : Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED));
    }
    if (!isRenewal && _subscriptions.size() >= _MAX_SUBSCRIPTIONS)
        return ServiceReply(
            Codec::ServiceError(ERROR_CLASS_RESOURCES, ERROR_CODE_NO_SPACE_TO_ADD_LIST_ELEMENT));
    Subscription subscription;
    subscription.subscriber = requester;
    subscription.processIdentifier = request.subscriberProcessIdentifier;
    subscription.object = request.monitoredObjectIdentifier;
    subscription.property = property;
    subscription.confirmed = request.issueConfirmedNotifications;
    subscription.lifetime = request.lifetime;
    subscription.expires = now + static_cast<Poco::Timestamp::TimeDiff>(request.lifetime) * 1000000;
    if (request.hasCovIncrement && request.hasProperty)
        subscription.increment = request.covIncrement;
    _subscriptions.push_back(subscription);
    return ServiceReply(ServiceReply::SimpleAck());
}

// ---- COV -------------------------------------------------------------------------------------------

std::vector<COVDelivery> SimulatedDevice::advance(const Poco::Timestamp& now)
{
    for (const auto& pObject : _objects)
        pObject->advance(now);
    _subscriptions.erase(
        std::remove_if(_subscriptions.begin(), _subscriptions.end(),
                       [&now](const Subscription& s) { return s.lifetime > 0 && now >= s.expires; }),
        _subscriptions.end());
    std::vector<COVDelivery> notifications;
    for (Subscription& subscription : _subscriptions)
    {
        const SimulatedObject* pObject = findObject(subscription.object);
        std::vector<Codec::PropertyValue> current = pObject->covValues(subscription.property, now);
        if (!isDue(subscription, current))
            continue;
        subscription.lastSent = std::move(current);
        notifications.push_back(notificationOf(subscription, now));
    }
    return notifications;
}

std::size_t SimulatedDevice::countSubscriptions(const DataType::ObjectIdentifier& object) const
{
    return static_cast<std::size_t>(std::count_if(_subscriptions.begin(), _subscriptions.end(),
                                                  [&object](const Subscription& s)
                                                  { return s.object == object; }));
}

bool SimulatedDevice::isDue(Subscription& subscription,
                            const std::vector<Codec::PropertyValue>& current) const
{
    if (subscription.lastSent.size() != current.size())
        return true;
    const float increment =
        subscription.increment ? *subscription.increment : findObject(subscription.object)->covIncrement();
    for (std::size_t i = 0; i < current.size(); ++i)
    {
        const bool isPresentValue = current[i].property.propertyId == PROP_PRESENT_VALUE;
        if (movedEnough(subscription.lastSent[i].value, current[i].value, isPresentValue ? increment : 0.0f))
            return true;
    }
    return false;
}

COVDelivery SimulatedDevice::notificationOf(const Subscription& subscription,
                                            const Poco::Timestamp& now) const
{
    COVDelivery delivery;
    delivery.subscriber = subscription.subscriber;
    delivery.confirmed = subscription.confirmed;
    Codec::COVNotification& notification = delivery.notification;
    notification.subscriberProcessIdentifier = subscription.processIdentifier;
    notification.initiatingDeviceIdentifier = DataType::ObjectIdentifier(OBJECT_DEVICE, _identity.instance);
    notification.monitoredObjectIdentifier = subscription.object;
    if (subscription.lifetime > 0)
        notification.timeRemaining =
            static_cast<Poco::UInt32>((subscription.expires - now + 999999) / 1000000);
    notification.values = subscription.lastSent;
    return delivery;
}

// ---- reading objects and faults ---------------------------------------------------------------------

Codec::ReadPropertyMultiple::ObjectResult SimulatedDevice::readObject(
    const Codec::ReadPropertyMultiple::ObjectRequest& request, const Poco::Timestamp& now)
{
    Codec::ReadPropertyMultiple::ObjectResult result;
    result.objectIdentifier = request.objectIdentifier;
    const SimulatedObject* pObject = findObject(request.objectIdentifier);
    for (const Codec::PropertyReference& ref : request.properties)
    {
        if (pObject == nullptr)
        {
            result.results.emplace_back(ref,
                                        Codec::ServiceError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
        }
        else if (isWholeObjectSet(ref.propertyId))
        {
            for (BACNET_PROPERTY_ID property : pObject->listProperties(ref.propertyId))
                readInto(result, *pObject, Codec::PropertyReference(property), now);
        }
        else
        {
            readInto(result, *pObject, ref, now);
        }
    }
    return result;
}

void SimulatedDevice::readInto(Codec::ReadPropertyMultiple::ObjectResult& result,
                               const SimulatedObject& object, const Codec::PropertyReference& ref,
                               const Poco::Timestamp& now)
{
    for (SimulatedFault& fault : _faults)
    {
        if (fault.property &&
            fault.matches(SimulatedFault::READ_PROPERTY_MULTIPLE, object.getIdentifier(), ref.propertyId) &&
            fault.strike())
        {
            result.results.emplace_back(ref, fault.error.hasError()
                                                 ? fault.error
                                                 : Codec::ServiceError(ERROR_CLASS_DEVICE, ERROR_CODE_OTHER));
            return;
        }
    }
    ValueContainer value;
    const Codec::ServiceError error = object.read(ref, now, value);
    if (error.hasError())
        result.results.emplace_back(ref, error);
    else
        result.results.emplace_back(ref, value);
}

std::optional<Codec::ServiceError> SimulatedDevice::strike(
    SimulatedFault::Service service, const std::optional<DataType::ObjectIdentifier>& object,
    const std::optional<BACNET_PROPERTY_ID>& property)
{
    std::optional<Codec::ServiceError> outcome;
    for (SimulatedFault& fault : _faults)
    {
        if (fault.matches(service, object, property) && fault.strike() && !outcome)
            outcome = fault.error;
    }
    return outcome;
}

std::optional<Codec::ServiceError> SimulatedDevice::strikeWholeRPM(
    const std::vector<Codec::ReadPropertyMultiple::ObjectRequest>& request)
{
    std::optional<Codec::ServiceError> outcome;
    for (SimulatedFault& fault : _faults)
    {
        if (fault.property)
            continue;  // struck per property entry
        const bool applies =
            std::any_of(request.begin(), request.end(),
                        [&fault](const auto& objectRequest)
                        {
                            return fault.matches(SimulatedFault::READ_PROPERTY_MULTIPLE,
                                                 objectRequest.objectIdentifier, std::nullopt);
                        });
        if (applies && fault.strike() && !outcome)
            outcome = fault.error;
    }
    return outcome;
}

std::optional<ServiceReply> SimulatedDevice::replyTo(const std::optional<Codec::ServiceError>& struck)
{
    if (!struck->hasError())
        return std::nullopt;
    return ServiceReply(*struck);
}

}  // namespace Orvik::BACnet::Device
