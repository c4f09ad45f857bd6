#include "SimulatedDevice.h"

#include "SimulatedDeviceObject.h"
#include "SimulatedTrendLog.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <cmath>

namespace Orvik::BACnet::Client::Simulation
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
    device.setProperty(PROP_SEGMENTATION_SUPPORTED, enumerated(SEGMENTATION_SEGMENTED_BOTH));
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

DataResponseWhoIs SimulatedDevice::iAm() const
{
    return DataResponseWhoIs(_identity.instance, _identity.vendorIdentifier, _identity.address,
                             _identity.maxApdu, SEGMENTATION_SEGMENTED_BOTH);
}

// ---- services ----------------------------------------------------------------------------------------

std::optional<NetworkReply> SimulatedDevice::readProperty(const DataPropertyKey& key,
                                                          const Poco::Timestamp& now)
{
    const auto struck =
        strike(SimulatedFault::READ_PROPERTY, key.objectIdentifier, key.propertyRef.propertyIdentifier);
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(key.objectIdentifier);
    if (pObject == nullptr)
        return NetworkReply(DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    ValueContainer value;
    const DataError error = pObject->read(key.propertyRef, now, value);
    if (error.hasError())
        return NetworkReply(error);
    return NetworkReply(std::move(value));
}

std::optional<NetworkReply> SimulatedDevice::readPropertyMultiple(
    const std::vector<NotificationRequestRPM::Parameter>& parameters, const Poco::Timestamp& now)
{
    const auto struck = strikeWholeRPM(parameters);
    if (struck)
        return replyTo(struck);
    std::vector<DataResponseRPM> responses;
    for (const NotificationRequestRPM::Parameter& parameter : parameters)
        responses.push_back(readObject(parameter, now));
    return NetworkReply(std::move(responses));
}

std::optional<NetworkReply> SimulatedDevice::readRange(const DataPropertyKey& key,
                                                       const ReadRange::Range& range,
                                                       const Poco::Timestamp& now)
{
    const auto struck =
        strike(SimulatedFault::READ_RANGE, key.objectIdentifier, key.propertyRef.propertyIdentifier);
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(key.objectIdentifier);
    if (pObject == nullptr)
        return NetworkReply(DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    const auto* pTrendLog = dynamic_cast<const SimulatedTrendLog*>(pObject);
    if (pTrendLog == nullptr)
    {
        return NetworkReply(pObject->hasProperty(key.propertyRef.propertyIdentifier)
                                ? DataError(ERROR_CLASS_SERVICES, ERROR_CODE_PROPERTY_IS_NOT_A_LIST)
                                : SimulatedObject::propertyError(ERROR_CODE_UNKNOWN_PROPERTY));
    }
    ReadRangeAck::Result result;
    const DataError error = pTrendLog->readRange(key.propertyRef, range, _identity.maxApdu, now, result);
    if (error.hasError())
        return NetworkReply(error);
    return NetworkReply(std::move(result));
}

std::optional<NetworkReply> SimulatedDevice::writeProperty(const DataPropertyKey& key, Poco::UInt32 priority,
                                                           const ValueContainer& value)
{
    const auto struck =
        strike(SimulatedFault::WRITE_PROPERTY, key.objectIdentifier, key.propertyRef.propertyIdentifier);
    if (struck)
        return replyTo(struck);
    SimulatedObject* pObject = findObject(key.objectIdentifier);
    if (pObject == nullptr)
        return NetworkReply(DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    const DataError error = pObject->write(key.propertyRef, priority, value);
    if (error.hasError())
        return NetworkReply(error);
    return NetworkReply(NetworkReply::Ack());
}

std::optional<NetworkReply> SimulatedDevice::subscribeCOV(
    const DataPropertyKey& key, const NotificationRequestSubscribeCOV::Parameters& parameters,
    const Poco::Timestamp& now)
{
    const BACNET_PROPERTY_ID property = key.propertyRef.propertyIdentifier;
    const bool wholeObject = property == MAX_BACNET_PROPERTY_ID;
    const auto struck = strike(SimulatedFault::SUBSCRIBE_COV, key.objectIdentifier,
                               wholeObject ? std::nullopt : std::optional<BACNET_PROPERTY_ID>(property));
    if (struck)
        return replyTo(struck);
    const SimulatedObject* pObject = findObject(key.objectIdentifier);
    if (pObject == nullptr)
        return NetworkReply(DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));

    auto same = [&](const Subscription& s)
    {
        return s.processIdentifier == parameters.subscriberProcessIdentifier &&
               s.object == key.objectIdentifier && s.property == property;
    };
    _subscriptions.erase(std::remove_if(_subscriptions.begin(), _subscriptions.end(), same),
                         _subscriptions.end());
    if (parameters.cancelation)
        return NetworkReply(NetworkReply::Ack());

    if (!wholeObject && !pObject->hasProperty(property))
        return NetworkReply(SimulatedObject::propertyError(ERROR_CODE_UNKNOWN_PROPERTY));
    if (pObject->covValues(property, now).empty())
    {
        return NetworkReply(
            wholeObject ? DataError(ERROR_CLASS_OBJECT, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED)
                        : SimulatedObject::propertyError(ERROR_CODE_NOT_COV_PROPERTY));
    }
    Subscription subscription;
    subscription.processIdentifier = parameters.subscriberProcessIdentifier;
    subscription.object = key.objectIdentifier;
    subscription.property = property;
    subscription.confirmed = parameters.confirmedNotification;
    subscription.lifetime = parameters.lifetime;
    subscription.expires = now + static_cast<Poco::Timestamp::TimeDiff>(parameters.lifetime) * 1000000;
    if (parameters.covIncrementPresent && !wholeObject)
        subscription.increment = parameters.covIncrement;
    _subscriptions.push_back(subscription);
    return NetworkReply(NetworkReply::Ack());
}

// ---- COV -------------------------------------------------------------------------------------------

std::vector<DataResponseCOV> SimulatedDevice::advance(const Poco::Timestamp& now)
{
    for (const auto& pObject : _objects)
        pObject->advance(now);
    _subscriptions.erase(
        std::remove_if(_subscriptions.begin(), _subscriptions.end(),
                       [&now](const Subscription& s) { return s.lifetime > 0 && now >= s.expires; }),
        _subscriptions.end());
    std::vector<DataResponseCOV> notifications;
    for (Subscription& subscription : _subscriptions)
    {
        const SimulatedObject* pObject = findObject(subscription.object);
        std::vector<DataResponseCOV::Value> current = pObject->covValues(subscription.property, now);
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
                            const std::vector<DataResponseCOV::Value>& current) const
{
    if (subscription.lastSent.size() != current.size())
        return true;
    const float increment =
        subscription.increment ? *subscription.increment : findObject(subscription.object)->covIncrement();
    for (std::size_t i = 0; i < current.size(); ++i)
    {
        const bool isPresentValue = current[i].propertyRef.propertyIdentifier == PROP_PRESENT_VALUE;
        if (movedEnough(subscription.lastSent[i].value, current[i].value, isPresentValue ? increment : 0.0f))
            return true;
    }
    return false;
}

DataResponseCOV SimulatedDevice::notificationOf(const Subscription& subscription,
                                                const Poco::Timestamp& now) const
{
    DataResponseCOV notification;
    notification.subscriberProcessIdentifier = subscription.processIdentifier;
    notification.initiatingDeviceInstance = _identity.instance;
    notification.monitoredObjectIdentifier = subscription.object;
    if (subscription.lifetime > 0)
        notification.timeRemaining =
            static_cast<Poco::UInt32>((subscription.expires - now + 999999) / 1000000);
    notification.confirmed = subscription.confirmed;
    notification.values = subscription.lastSent;
    return notification;
}

// ---- reading objects and faults ---------------------------------------------------------------------

DataResponseRPM SimulatedDevice::readObject(const NotificationRequestRPM::Parameter& parameter,
                                            const Poco::Timestamp& now)
{
    DataResponseRPM response(parameter.objectIdentifier);
    const SimulatedObject* pObject = findObject(parameter.objectIdentifier);
    for (const DataPropertyRef& ref : parameter.propertyRefs)
    {
        if (pObject == nullptr)
        {
            response.values.emplace_back(ref, DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
        }
        else if (isWholeObjectSet(ref.propertyIdentifier))
        {
            for (BACNET_PROPERTY_ID property : pObject->listProperties(ref.propertyIdentifier))
                readInto(response, *pObject, DataPropertyRef(property), now);
        }
        else
        {
            readInto(response, *pObject, ref, now);
        }
    }
    return response;
}

void SimulatedDevice::readInto(DataResponseRPM& response, const SimulatedObject& object,
                               const DataPropertyRef& ref, const Poco::Timestamp& now)
{
    for (SimulatedFault& fault : _faults)
    {
        if (fault.property &&
            fault.matches(SimulatedFault::READ_PROPERTY_MULTIPLE, object.getIdentifier(),
                          ref.propertyIdentifier) &&
            fault.strike())
        {
            response.values.emplace_back(
                ref, fault.error.hasError() ? fault.error : DataError(ERROR_CLASS_DEVICE, ERROR_CODE_OTHER));
            return;
        }
    }
    ValueContainer value;
    const DataError error = object.read(ref, now, value);
    if (error.hasError())
        response.values.emplace_back(ref, error);
    else
        response.values.emplace_back(ref, value);
}

std::optional<DataError> SimulatedDevice::strike(SimulatedFault::Service service,
                                                 const std::optional<DataType::ObjectIdentifier>& object,
                                                 const std::optional<BACNET_PROPERTY_ID>& property)
{
    std::optional<DataError> outcome;
    for (SimulatedFault& fault : _faults)
    {
        if (fault.matches(service, object, property) && fault.strike() && !outcome)
            outcome = fault.error;
    }
    return outcome;
}

std::optional<DataError> SimulatedDevice::strikeWholeRPM(
    const std::vector<NotificationRequestRPM::Parameter>& parameters)
{
    std::optional<DataError> outcome;
    for (SimulatedFault& fault : _faults)
    {
        if (fault.property)
            continue;  // struck per property entry
        const bool applies = std::any_of(parameters.begin(), parameters.end(),
                                         [&fault](const auto& parameter) {
                                             return fault.matches(SimulatedFault::READ_PROPERTY_MULTIPLE,
                                                                  parameter.objectIdentifier, std::nullopt);
                                         });
        if (applies && fault.strike() && !outcome)
            outcome = fault.error;
    }
    return outcome;
}

std::optional<NetworkReply> SimulatedDevice::replyTo(const std::optional<DataError>& struck)
{
    if (!struck->hasError())
        return std::nullopt;
    return NetworkReply(*struck);
}

}  // namespace Orvik::BACnet::Client::Simulation
