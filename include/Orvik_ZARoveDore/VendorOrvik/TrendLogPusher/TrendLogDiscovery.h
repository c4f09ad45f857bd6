#pragma once

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataWhichTrendLogs.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DeviceSearch.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ParallelSearch.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PositionStore.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The trend log pusher's search for devices and trend logs: a Who-Is for the devices of the network
/// (on a large site followed by one for each range of instances), then each device's search (DeviceSearch),
/// many devices at once (ParallelSearch). Found devices are appended to the collected devices in the order of
/// their I-Ams, found trend logs to their device; nothing is ever removed. Each search ends with one report
/// line: the devices and trend logs found, the devices that failed and how long it took.
///
/// Works on the app's thread; while devices are searched it calls `keepAlive` now and then, which
/// answers the app's sanity requests and says whether the app was told to stop. The requester, the
/// devices, the search settings and the position store are not owned and must outlive the discovery.
class TrendLogDiscovery
{
public:
    struct Limits
    {
        /// Devices searched at once: enough that every router network of a building has its devices
        /// searched while the others are (the lanes go to the devices in the order of their I-Ams).
        std::size_t devicesAtOnce = 128;
        /// The longest time between two keepAlive calls while devices are searched.
        long keepAliveMs = 100;
        /// A Who-Is of every instance that finds more devices than this is followed by one Who-Is for
        /// each range of instances holding this many of them: in the burst of a thousand I-Ams some are
        /// lost, and a device behind a slow link may answer after the window. 0: one Who-Is only.
        std::size_t devicesPerWhoIs = 100;
        /// The Who-Is of the ranges go out this far apart and wait out their answer windows side by
        /// side: one range's burst of I-Ams is taken in before the next, and the ranges together take
        /// one window, not one each.
        long whoIsSpacingMs = 200;
    };

    TrendLogDiscovery(Client::ServiceHelper& services, std::vector<DataDevice>& devices,
                      const DataWhichTrendLogs& which, PositionStore& positions,
                      Poco::UInt32 ownDeviceInstance, std::function<bool()> keepAlive,
                      std::function<void(const std::string&)> report);

    /// One search in the configured mode; stores the positions when it found new trend logs and sets
    /// when the next search is due.
    void collectTrendLogs();
    /// True when searches repeat and the next one is due.
    bool isRefreshDue() const;
    /// Reads the device properties; false when the read failed or a required property is missing.
    bool collectDevice(DataDevice& device);
    void setLimits(const Limits& limits) { _limits = limits; }

    /// Lowest and highest instance of a Who-Is.
    using InstanceRange = std::pair<Poco::UInt32, Poco::UInt32>;
    /// Ranges that cover every instance from 0 to the highest, one after the other, each holding
    /// `perRange` of the ascending `instances` (the last one the rest); none for no instance.
    static std::vector<InstanceRange> whoIsRanges(const std::vector<Poco::UInt32>& instances,
                                                  std::size_t perRange);

private:
    /// A device to search: a copy of a device found before, or a new one.
    struct Job
    {
        DataDevice device;
        bool isNew = true;
        DeviceSearch::Outcome outcome;
    };

    /// Searches every device that answers a Who-Is; one that fails is passed over, a stop request ends
    /// the search. The number of new trend logs, or a negative number when a device failed or the stop
    /// came.
    Poco::Int32 collectNetworkedTrendLogs();
    /// The gateway's own device; the same result as collectNetworkedTrendLogs().
    Poco::Int32 collectOwnTrendLogs();
    /// The devices that answer a Who-Is of every instance, then those that answer the Who-Is of each range
    /// (see Limits), each once, in the order of their I-Ams; false when the first Who-Is failed or the
    /// stop came.
    bool findDevices(ParallelSearch& lanes, std::vector<Client::DataResponseWhoIs>& found) const;
    /// Adds the devices that answer the ranges' Who-Is and were not found yet; false on the stop.
    bool findInRanges(ParallelSearch& lanes, std::vector<Client::DataResponseWhoIs>& found) const;
    Job jobFor(Poco::UInt32 deviceInstance);
    /// Takes the searched jobs over into the devices, in their order; the same result as
    /// collectNetworkedTrendLogs().
    Poco::Int32 takeOver(std::vector<Job>& jobs, bool stopped, const Poco::Clock& started);
    void reportSearch(const std::vector<Job>& jobs, const Poco::Clock& started) const;

    Client::ServiceHelper& _services;
    std::vector<DataDevice>& _devices;
    const DataWhichTrendLogs& _which;
    PositionStore& _positions;
    const Poco::UInt32 _ownDeviceInstance;
    const std::function<bool()> _keepAlive;
    const std::function<void(const std::string&)> _report;
    Limits _limits;
    Poco::Clock _nextTrendLogCollect;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
