#pragma once

#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/WhoHas.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetDevice/COVDelivery.h"
#include "Orvik_BACnetDevice/ServiceReply.h"
#include "Orvik_BACnetDevice/ServiceRequest.h"
#include "Orvik_BACnetDevice/SimulatedFault.h"

#include <Poco/Timespan.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::BACnet::Device
{

class LogStore;
class SimulatedDevice;
class SimulatedTrendLog;

/// The devices of a site file (sites/README.md) and the services they answer, without any network:
/// whoever carries requests to them (the client layer's in-process simulated network, the BACnet/IP
/// server of orvik-site) hands each confirmed request to serve() and sends what comes back.
///
/// Time is given by the caller (`now`): drifting values, subscription lifetimes and live trend logs
/// move on when advance() or serve() is called. Delays and silence are facts the caller acts on
/// (Presence); faults that answer errors or drop requests are applied by serve().
///
/// Thread-safe: every operation takes the site's lock. The operations for tests and tools throw
/// Poco::NotFoundException for a device or trend log the site does not have.
class Site
{
public:
    /// The tick that moves drifting values and sends due COV notifications, unless the site file sets it.
    static constexpr Poco::UInt32 _DEFAULT_TICK_MS = 500;

    /// How a device shows itself on a network.
    class Presence
    {
    public:
        Codec::IAm iAm;
        /// Its address as the site file gives it (network number and MAC).
        DataType::BACnetAddress address;
        /// Where a BACnet/IP server puts it (empty: the server's default).
        std::string bind;
        Poco::UInt32 delayMs = 0;
        bool silent = false;
        /// The share of received datagrams lost on BACnet/IP, and the seed of the losses.
        double dropRate = 0.0;
        Poco::UInt32 seed = 0;
    };

    /// What serving a request gave: the reply (none: the device does not answer) and the COV
    /// notifications that came due with it (the first one of a new subscription).
    class Served
    {
    public:
        std::optional<ServiceReply> reply;
        std::vector<COVDelivery> notifications;
    };

    Site();
    ~Site();

    /// The site of a site file. Throws Poco::FileNotFoundException, or Poco::DataFormatException that
    /// names the file and what is wrong in it.
    static std::unique_ptr<Site> load(const std::string& path);
    /// A program's own device from a site file: the device with `deviceInstance`, or the file's only
    /// device, which takes that instance (its `instance` member may be left out). Its trend logs with a
    /// `record` member keep their records in `pStore` (without a store they are refused). Throws as
    /// load() does, also when the file has several devices and none of them is `deviceInstance`.
    static std::unique_ptr<Site> loadOwnDevice(const std::string& path, Poco::UInt32 deviceInstance,
                                               std::shared_ptr<LogStore> pStore = nullptr);
    /// The site of a site file's text; `origin` names it in error messages.
    static std::unique_ptr<Site> parse(const std::string& text, const std::string& origin);

    /// Adds a device; throws Poco::ExistsException for a second device with the same instance.
    void addDevice(std::unique_ptr<SimulatedDevice> pDevice);
    /// Leaves a device out (one that another program serves); throws Poco::NotFoundException for a
    /// device the site does not have.
    void removeDevice(Poco::UInt32 deviceInstance);
    void setTickMs(Poco::UInt32 tickMs) { _tickMs = tickMs == 0 ? _DEFAULT_TICK_MS : tickMs; }
    Poco::UInt32 getTickMs() const { return _tickMs; }
    /// A network behind a router that is a slow shared link (MS/TP): it carries one frame at a time,
    /// each `frameDelayMs` long.
    void setFrameDelayMs(Poco::UInt16 network, Poco::UInt32 frameDelayMs);
    /// 0 for a network without a frame delay.
    Poco::UInt32 getFrameDelayMs(Poco::UInt16 network) const;

    std::vector<Poco::UInt32> getDeviceInstances() const;
    /// The device's presence; empty for a device the site does not have.
    std::optional<Presence> presenceOf(Poco::UInt32 deviceInstance) const;
    /// The devices that a Who-Is to `destination` for lowLimit..highLimit reaches and that answer
    /// (not silent). `destination`: the default address is the global broadcast; a network number alone
    /// the broadcast on that network; with a MAC one station.
    std::vector<Presence> whoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                Poco::UInt32 highLimit) const;

    /// The device's answer to a Who-Has: the object it names (by identifier or object-name) with its
    /// name; empty when the device has no such object, is silent, is out of the range, or is unknown.
    std::optional<Codec::WhoHas::IHave> whoHas(Poco::UInt32 deviceInstance,
                                               const Codec::WhoHas& whoHas) const;

    /// A confirmed request for the device reaches it (counted, also when it is silent). No reply for a
    /// device the site does not have, a silent one, or a fault that drops the request.
    Served serve(Poco::UInt32 deviceInstance, const ServiceRequest& request,
                 const DataType::BACnetAddress& requester, const Poco::Timestamp& now);
    /// Moves every device on to `now`; the COV notifications due, of the devices that are not silent.
    std::vector<COVDelivery> advance(const Poco::Timestamp& now);

    // ---- tests and tools ----------------------------------------------------------------------------

    /// What the device would answer to a ReadProperty now, without its faults and not counted.
    Codec::ServiceError readProperty(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object,
                                     const Codec::PropertyReference& property, ValueContainer& value) const;
    /// The object's own value changes (a new sensor reading; the relinquish default of a commandable
    /// object). Returns the error when the value does not fit; `notifications` receives the COV
    /// notifications now due (none from a silent device).
    Codec::ServiceError changeValue(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object,
                                    const ValueContainer& value, std::vector<COVDelivery>& notifications);

    /// Sequence numbers of the records a trend log holds now (first > last: none).
    Poco::UInt64 getFirstSequenceNumber(Poco::UInt32 deviceInstance,
                                        const DataType::ObjectIdentifier& trendLog) const;
    Poco::UInt64 getLastSequenceNumber(Poco::UInt32 deviceInstance,
                                       const DataType::ObjectIdentifier& trendLog) const;
    /// The records of one sequence number (one per logged channel), as ReadRange sends them.
    std::vector<DataType::BACnetLogRecord> getLogRecords(Poco::UInt32 deviceInstance,
                                                         const DataType::ObjectIdentifier& trendLog,
                                                         Poco::UInt64 sequenceNumber) const;
    /// The device's clock was moved by `step` just before the trend log logged record
    /// `sequenceNumber`: that record and the later ones carry moved times.
    void setClockStep(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& trendLog,
                      Poco::UInt64 sequenceNumber, const Poco::Timespan& step);

    void setSilent(Poco::UInt32 deviceInstance, bool silent);
    /// Every answer of the device comes `delayMs` late (the serving network waits).
    void setDelay(Poco::UInt32 deviceInstance, Poco::UInt32 delayMs);
    void addFault(Poco::UInt32 deviceInstance, const SimulatedFault& fault);
    void clearFaults(Poco::UInt32 deviceInstance);
    /// Confirmed requests the device received (answered, dropped or ignored because it is silent).
    Poco::UInt32 getRequestCount(Poco::UInt32 deviceInstance) const;
    /// Active COV subscriptions of an object.
    std::size_t countSubscriptions(Poco::UInt32 deviceInstance,
                                   const DataType::ObjectIdentifier& object) const;

private:
    SimulatedDevice& device(Poco::UInt32 deviceInstance) const;
    SimulatedDevice* findDevice(Poco::UInt32 deviceInstance) const;
    SimulatedTrendLog& trendLog(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& object) const;
    static Presence describe(const SimulatedDevice& device);

    mutable std::mutex _mutex;
    std::map<Poco::UInt32, std::unique_ptr<SimulatedDevice>> _devices;
    Poco::UInt32 _tickMs = _DEFAULT_TICK_MS;
    std::map<Poco::UInt16, Poco::UInt32> _frameDelaysMs;
};

}  // namespace Orvik::BACnet::Device
