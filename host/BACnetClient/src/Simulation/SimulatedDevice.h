#pragma once

#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NetworkReply.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/Simulation/SimulatedFault.h"
#include "SimulatedObject.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::BACnet::Client::Simulation
{

/// One simulated BACnet device: its device object, its other objects, the services it answers, its
/// COV subscriptions and its faults.
///
/// The service operations return the reply the device sends, or nothing when the device does not
/// answer (a fault that drops the request). An unknown object gives object / unknown-object. The site
/// counts every confirmed request that reaches the device (receive()), so tests can see retries.
///
/// COV: a subscription (SubscribeCOV for the whole object, SubscribeCOVProperty for one property) lives
/// until it is cancelled or its lifetime (seconds, 0 = no limit) ends; a renewal with the same subscriber
/// process identifier, object and property replaces it. advance() reports, for every subscription, the
/// first state after subscribing and every change since the last notification (for a REAL present value
/// only changes of at least the COV increment).
///
/// Not thread-safe: the simulated site serialises all access.
class SimulatedDevice
{
public:
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
    };

    explicit SimulatedDevice(const Identity& identity);
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;
    ~SimulatedDevice();

    Poco::UInt32 getInstance() const { return _identity.instance; }

    SimulatedObject& getDeviceObject() { return *_objects.front(); }
    /// Adds an object; throws Poco::ExistsException when the device has one with that identifier.
    void addObject(std::unique_ptr<SimulatedObject> pObject);
    SimulatedObject* findObject(const DataType::ObjectIdentifier& identifier) const;

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
    DataResponseWhoIs iAm() const;

    std::optional<NetworkReply> readProperty(const DataPropertyKey& key, const Poco::Timestamp& now);
    std::optional<NetworkReply> readPropertyMultiple(
        const std::vector<NotificationRequestRPM::Parameter>& parameters, const Poco::Timestamp& now);
    std::optional<NetworkReply> readRange(const DataPropertyKey& key, const ReadRange::Range& range,
                                          const Poco::Timestamp& now);
    std::optional<NetworkReply> writeProperty(const DataPropertyKey& key, Poco::UInt32 priority,
                                              const ValueContainer& value);
    std::optional<NetworkReply> subscribeCOV(const DataPropertyKey& key,
                                             const NotificationRequestSubscribeCOV::Parameters& parameters,
                                             const Poco::Timestamp& now);

    /// Moves drifting values on to `now`, ends expired subscriptions and returns the notifications due.
    std::vector<DataResponseCOV> advance(const Poco::Timestamp& now);
    std::size_t countSubscriptions(const DataType::ObjectIdentifier& object) const;

private:
    class Subscription
    {
    public:
        Poco::UInt32 processIdentifier = 0;
        DataType::ObjectIdentifier object;
        BACNET_PROPERTY_ID property = MAX_BACNET_PROPERTY_ID;
        bool confirmed = false;
        Poco::UInt32 lifetime = 0;
        Poco::Timestamp expires;
        std::optional<float> increment;
        std::vector<DataResponseCOV::Value> lastSent;
    };

    /// The outcome of the faults for one request: empty when none strikes, else the error to answer
    /// (a DataError without error: drop the request).
    std::optional<DataError> strike(SimulatedFault::Service service,
                                    const std::optional<DataType::ObjectIdentifier>& object,
                                    const std::optional<BACNET_PROPERTY_ID>& property);
    std::optional<DataError> strikeWholeRPM(const std::vector<NotificationRequestRPM::Parameter>& parameters);
    static std::optional<NetworkReply> replyTo(const std::optional<DataError>& struck);
    DataResponseRPM readObject(const NotificationRequestRPM::Parameter& parameter,
                               const Poco::Timestamp& now);
    void readInto(DataResponseRPM& response, const SimulatedObject& object, const DataPropertyRef& ref,
                  const Poco::Timestamp& now);
    bool isDue(Subscription& subscription, const std::vector<DataResponseCOV::Value>& current) const;
    DataResponseCOV notificationOf(const Subscription& subscription, const Poco::Timestamp& now) const;
    void setDeviceProperties();

    const Identity _identity;
    std::vector<std::unique_ptr<SimulatedObject>> _objects;
    std::vector<Subscription> _subscriptions;
    std::vector<SimulatedFault> _faults;
    bool _silent = false;
    Poco::UInt32 _delayMs = 0;
    Poco::UInt32 _requestCount = 0;
};

}  // namespace Orvik::BACnet::Client::Simulation
