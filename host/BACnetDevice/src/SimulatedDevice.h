#pragma once

#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnetDevice/COVDelivery.h"
#include "Orvik_BACnetDevice/ServiceReply.h"
#include "Orvik_BACnetDevice/ServiceRequest.h"
#include "Orvik_BACnetDevice/SimulatedFault.h"
#include "SimulatedObject.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::BACnet::Device
{

/// One simulated BACnet device: its device object, its other objects, the services it answers, its
/// COV subscriptions and its faults.
///
/// serve() returns the reply the device sends, or nothing when the device does not answer (a fault
/// that drops the request). An unknown object gives object / unknown-object. The site counts every
/// confirmed request that reaches the device (receive()), so tests can see retries.
///
/// COV: a subscription (SubscribeCOV for the whole object, SubscribeCOVProperty for one property) lives
/// until it is cancelled or its lifetime (seconds, 0 = no limit) ends; a renewal from the same
/// subscriber address with the same process identifier, object and property replaces it. A device holds
/// at most _MAX_SUBSCRIPTIONS; a new one beyond them is refused with resources /
/// no-space-to-add-list-element (renewals and cancellations still work), so a client that never cancels
/// cannot make the device's memory grow. advance() reports, for every subscription, the first state
/// after subscribing and every change since the last notification (for a REAL present value only
/// changes of at least the COV increment).
///
/// Not thread-safe: the site serialises all access.
class SimulatedDevice
{
public:
    static constexpr std::size_t _MAX_SUBSCRIPTIONS = 256;

    class Identity
    {
    public:
        Poco::UInt32 instance = 0;
        std::string name;
        Poco::UInt16 vendorIdentifier = 0;
        std::string vendorName;
        std::string modelName;
        DataType::BACnetAddress address;
        Poco::UInt32 maxApdu = 1476;
        /// Whether the device sends answers too large for one APDU in segments (many small field
        /// devices cannot); it never takes segmented requests.
        BACNET_SEGMENTATION segmentation = SEGMENTATION_SEGMENTED_TRANSMIT;
        /// Where a BACnet/IP server puts the device: "a.b.c.d" or "a.b.c.d:port" (empty: its default).
        std::string bind;
        /// On BACnet/IP: the share of received datagrams the device loses, by a generator seeded with
        /// `seed` (repeatable).
        double dropRate = 0.0;
        Poco::UInt32 seed = 0;
    };

    explicit SimulatedDevice(const Identity& identity);
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;
    ~SimulatedDevice();

    Poco::UInt32 getInstance() const { return _identity.instance; }
    const Identity& getIdentity() const { return _identity; }

    SimulatedObject& getDeviceObject() { return *_objects.front(); }
    /// Adds an object; throws Poco::ExistsException when the device has one with that identifier.
    void addObject(std::unique_ptr<SimulatedObject> pObject);
    SimulatedObject* findObject(const DataType::ObjectIdentifier& identifier) const;
    /// The object whose object-name is `name`; null when none has it.
    SimulatedObject* findObjectNamed(const std::string& name) const;

    bool isSilent() const { return _silent; }
    void setSilent(bool silent) { _silent = silent; }
    Poco::UInt32 getDelayMs() const { return _delayMs; }
    void setDelayMs(Poco::UInt32 delayMs) { _delayMs = delayMs; }
    void addFault(const SimulatedFault& fault) { _faults.push_back(fault); }
    void clearFaults() { _faults.clear(); }
    /// Counts a confirmed request that reached the device (also when it is silent or drops it).
    void receive() { ++_requestCount; }
    Poco::UInt32 getRequestCount() const { return _requestCount; }

    /// True when a Who-Is to `destination` for this range reaches this device and it answers.
    bool answersWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                      Poco::UInt32 highLimit) const;
    Codec::IAm iAm() const;

    /// The device's answer to `request` from `requester` (where COV notifications of a subscription go).
    std::optional<ServiceReply> serve(const ServiceRequest& request, const DataType::BACnetAddress& requester,
                                      const Poco::Timestamp& now);

    /// Moves drifting values on to `now`, ends expired subscriptions and returns the notifications due.
    std::vector<COVDelivery> advance(const Poco::Timestamp& now);
    std::size_t countSubscriptions(const DataType::ObjectIdentifier& object) const;

private:
    class Subscription
    {
    public:
        DataType::BACnetAddress subscriber;
        Poco::UInt32 processIdentifier = 0;
        DataType::ObjectIdentifier object;
        BACNET_PROPERTY_ID property = MAX_BACNET_PROPERTY_ID;
        bool confirmed = false;
        Poco::UInt32 lifetime = 0;
        Poco::Timestamp expires;
        std::optional<float> increment;
        std::vector<Codec::PropertyValue> lastSent;
    };

    std::optional<ServiceReply> readProperty(const Codec::ReadProperty::Request& request,
                                             const Poco::Timestamp& now);
    std::optional<ServiceReply> readPropertyMultiple(
        const std::vector<Codec::ReadPropertyMultiple::ObjectRequest>& request, const Poco::Timestamp& now);
    std::optional<ServiceReply> readRange(const Codec::ReadRange::Request& request,
                                          const Poco::Timestamp& now);
    std::optional<ServiceReply> writeProperty(const Codec::WriteProperty::Request& request);
    std::optional<ServiceReply> subscribeCOV(const Codec::SubscribeCOV::Request& request,
                                             const DataType::BACnetAddress& requester,
                                             const Poco::Timestamp& now);

    /// The outcome of the faults for one request: empty when none strikes, else the error to answer
    /// (a ServiceError without error: drop the request).
    std::optional<Codec::ServiceError> strike(SimulatedFault::Service service,
                                              const std::optional<DataType::ObjectIdentifier>& object,
                                              const std::optional<BACNET_PROPERTY_ID>& property);
    std::optional<Codec::ServiceError> strikeWholeRPM(
        const std::vector<Codec::ReadPropertyMultiple::ObjectRequest>& request);
    static std::optional<ServiceReply> replyTo(const std::optional<Codec::ServiceError>& struck);
    Codec::ReadPropertyMultiple::ObjectResult readObject(
        const Codec::ReadPropertyMultiple::ObjectRequest& request, const Poco::Timestamp& now);
    void readInto(Codec::ReadPropertyMultiple::ObjectResult& result, const SimulatedObject& object,
                  const Codec::PropertyReference& ref, const Poco::Timestamp& now);
    bool isDue(Subscription& subscription, const std::vector<Codec::PropertyValue>& current) const;
    COVDelivery notificationOf(const Subscription& subscription, const Poco::Timestamp& now) const;
    void setDeviceProperties();

    const Identity _identity;
    std::vector<std::unique_ptr<SimulatedObject>> _objects;
    std::vector<Subscription> _subscriptions;
    std::vector<SimulatedFault> _faults;
    bool _silent = false;
    Poco::UInt32 _delayMs = 0;
    Poco::UInt32 _requestCount = 0;
};

}  // namespace Orvik::BACnet::Device
