#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"

#include "Orvik_Watson/Topics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;

void ObjectIdentities::configure(const DataObjectKey& object, Flags flag)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _objects[object].flags |= flag;
}

std::vector<DataObjectKey> ObjectIdentities::objects() const
{
    std::vector<DataObjectKey> keys;
    for (const auto& entry : _objects)
    {
        keys.push_back(entry.first);
    }
    return keys;
}

Poco::UInt8 ObjectIdentities::flagsOf(const DataObjectKey& object) const
{
    const auto found = _objects.find(object);
    return found == _objects.end() ? 0 : found->second.flags;
}

void ObjectIdentities::forgetIdentities()
{
    std::lock_guard<std::mutex> lock(_mutex);
    for (auto& entry : _objects)
    {
        const Poco::UInt8 flags = entry.second.flags;
        entry.second = Identity();
        entry.second.flags = flags;
    }
}

void ObjectIdentities::enter(const DataObjectKey& object, const DataWatsonKey& watson)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Identity& identity = _objects[object];
    identity.entered = true;
    identity.watson = watson;
}

void ObjectIdentities::followByCov(const DataObjectKey& object, const DataCOVSubscriber& subscriber)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Identity& identity = _objects[object];
    identity.followedByCov = true;
    identity.cov = subscriber;
}

const DataCOVSubscriber* ObjectIdentities::covSubscriber(const DataObjectKey& object) const
{
    const auto found = _objects.find(object);
    return found != _objects.end() && found->second.followedByCov ? &found->second.cov : nullptr;
}

std::vector<std::pair<DataObjectKey, DataCOVSubscriber>> ObjectIdentities::covSubscribers() const
{
    std::vector<std::pair<DataObjectKey, DataCOVSubscriber>> subscribers;
    for (const auto& entry : _objects)
    {
        if (entry.second.followedByCov)
        {
            subscribers.emplace_back(entry.first, entry.second.cov);
        }
    }
    return subscribers;
}

bool ObjectIdentities::findCommandable(const DataWatsonKey& watson, DataObjectKey& object) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    for (const auto& entry : _objects)
    {
        const Identity& identity = entry.second;
        if (identity.entered && (identity.flags & F_SUBSCRIBE) != 0 &&
            identity.watson.deviceType == watson.deviceType && identity.watson.deviceId == watson.deviceId &&
            identity.watson.propertyId == watson.propertyId)
        {
            object = entry.first;
            return true;
        }
    }
    return false;
}

std::vector<DataWatsonKey> ObjectIdentities::commandableDevices() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<DataWatsonKey> names;
    for (const auto& entry : _objects)
    {
        if (entry.second.entered && (entry.second.flags & F_SUBSCRIBE) != 0)
        {
            names.push_back(entry.second.watson);
        }
    }
    return names;
}

std::string ObjectIdentities::problemWith(const DataWatsonKey& watson)
{
    // Type and id become topic levels; a TAB in the object name would make its key text ambiguous.
    if (!Watson_IOTP::Topics::isValidLevel(watson.deviceType) ||
        !Watson_IOTP::Topics::isValidLevel(watson.deviceId))
    {
        return "its device names cannot be MQTT topic levels "
               "(empty, \"/\", \"+\", \"#\", control characters or not UTF-8)";
    }
    if (!Watson_IOTP::Topics::isValidEvent(watson.deviceType, watson.deviceId, EventText::_COV_EVENT,
                                           EventText::_FORMAT))
    {
        return "its device names make an MQTT topic longer than " +
               std::to_string(Watson_IOTP::Topics::MAX_TOPIC_BYTES) + " bytes";
    }
    if (watson.propertyId.empty() || watson.propertyId.find(DataWatsonKey::_SEPARATOR) != std::string::npos)
    {
        return "its object name is empty or holds a TAB";
    }
    return "";
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
