#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataCOVSubscriber.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

#include <Poco/Hash.h>
#include <Poco/HashMap.h>
#include <Poco/Types.h>

#include <mutex>
#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The bridge's configured objects, keyed by device and object: what the bridge does with each (a
/// set of Flags), its names on the platform once they were read, and whether its value follows
/// change-of-value notifications.
///
/// The map is walked in its own (hash) order. The app's thread is the only one that changes it; the
/// MQTT client's thread only looks up commandable objects (findCommandable, commandableDevices), which
/// is why changes and those look-ups are serialised.
class ObjectIdentities
{
public:
    enum Flags : Poco::UInt8
    {
        F_PUBLISH = 1,
        F_SUBSCRIBE = 2
    };

    /// Adds `flag` to the object's flags (an object may be configured several times).
    void configure(const Orvik::BACnet::Client::DataObjectKey& object, Flags flag);
    bool empty() const { return _objects.empty(); }
    /// The configured objects, in the map's order.
    std::vector<Orvik::BACnet::Client::DataObjectKey> objects() const;
    /// The object's flags; 0 when it is not configured.
    Poco::UInt8 flagsOf(const Orvik::BACnet::Client::DataObjectKey& object) const;

    /// Forgets every identity read so far (the configuration stays).
    void forgetIdentities();
    /// Records the object's names on the platform; with F_SUBSCRIBE it accepts commands from now on.
    void enter(const Orvik::BACnet::Client::DataObjectKey& object, const DataWatsonKey& watson);
    /// The object's value follows change-of-value notifications of `subscriber`'s property.
    void followByCov(const Orvik::BACnet::Client::DataObjectKey& object, const DataCOVSubscriber& subscriber);
    /// The COV subscriber of the object; null when its value is not followed by COV.
    const DataCOVSubscriber* covSubscriber(const Orvik::BACnet::Client::DataObjectKey& object) const;
    /// The objects followed by COV with their subscribers, in the map's order.
    std::vector<std::pair<Orvik::BACnet::Client::DataObjectKey, DataCOVSubscriber>> covSubscribers() const;

    /// The commandable object with these names on the platform; false when there is none.
    bool findCommandable(const DataWatsonKey& watson, Orvik::BACnet::Client::DataObjectKey& object) const;
    /// The names of every commandable object, in the map's order (one entry per object).
    std::vector<DataWatsonKey> commandableDevices() const;

    /// Why these names cannot be used on the platform; empty when they can. Type and id become topic
    /// levels of every event; the object name must not be empty.
    static std::string problemWith(const DataWatsonKey& watson);

private:
    class Identity
    {
    public:
        Poco::UInt8 flags = 0;
        bool entered = false;
        DataWatsonKey watson;
        bool followedByCov = false;
        DataCOVSubscriber cov;
    };

    class KeyHash
    {
    public:
        std::size_t operator()(const Orvik::BACnet::Client::DataObjectKey& object) const
        {
            return Poco::Hash<Poco::UInt64>()(object.getKey());
        }
    };

    Poco::HashMap<Orvik::BACnet::Client::DataObjectKey, Identity, KeyHash> _objects;
    mutable std::mutex _mutex;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
