#pragma once

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include <vector>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataChannel.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataWhichTrendLogs.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PositionStore.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The trend log pusher's search for devices and trend logs: Who-Is for the devices of the network,
/// their object lists for the trend logs (trend log and trend log multiple), ReadPropertyMultiple for
/// the properties of the devices, trend logs and logged objects. Found devices are appended to the
/// collected devices, found trend logs to their device; nothing is ever removed.
///
/// Works on the app's thread with its blocking BACnet services; the requester, the devices, the search
/// settings and the position store are not owned and must outlive the discovery.
class TrendLogDiscovery
{
public:
    TrendLogDiscovery(Client::ServiceHelper& services, std::vector<DataDevice>& devices,
                      const DataWhichTrendLogs& which, PositionStore& positions,
                      Poco::UInt32 ownDeviceInstance);

    /// One search in the configured mode; stores the positions when it found new trend logs and sets
    /// when the next search is due.
    void collectTrendLogs();
    /// True when searches repeat and the next one is due.
    bool isRefreshDue() const;
    /// Reads the device properties; false when the read failed or a required property is missing.
    bool collectDevice(DataDevice& device);

private:
    /// Searches every device that answers a Who-Is; one that fails is passed over, a stop request ends
    /// the search. The number of new trend logs, or a negative number when a device failed or the stop
    /// came.
    Poco::Int32 collectNetworkedTrendLogs();
    /// `result`, noting a stop request.
    Client::ServiceHelper::SyncReslut noted(Client::ServiceHelper::SyncReslut result);
    /// Searches one device's object list: the number of new trend logs, 0 for an excluded device, -1 on
    /// failure (a new device is then not added).
    Poco::Int32 collectTrendLogsFromDevice(Poco::UInt32 deviceInstance);
    /// Reads one trend log and its channels into `trendLogs`: 1 when added, 0 when it was there
    /// already, -1 on failure.
    Poco::Int32 collectTrendLog(const Client::DataObjectKey& key, std::vector<DataTrendLog>& trendLogs);
    /// Rebuilds `channels` from the logged references; false when a channel was refused (stop).
    bool collectLoggingFromObjects(const DataType::ObjectIdentifier& parentDeviceIdentifier,
                                   const std::vector<DataType::BACnetDeviceObjectPropertyReference>& refs,
                                   std::vector<DataChannel>& channels);
    /// Reads the logged object's and its device's properties; false only on a stop request.
    bool collectLoggingFromObject(const DataType::BACnetDeviceObjectPropertyReference& ref,
                                  DataChannel& channel);
    /// True when `ref` (device and object) is excluded.
    bool isBlackList(const DataType::BACnetDeviceObjectReference& ref) const;

    Client::ServiceHelper& _services;
    std::vector<DataDevice>& _devices;
    const DataWhichTrendLogs& _which;
    PositionStore& _positions;
    const Poco::UInt32 _ownDeviceInstance;
    Poco::Clock _nextTrendLogCollect;
    bool _stopRequested = false;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
