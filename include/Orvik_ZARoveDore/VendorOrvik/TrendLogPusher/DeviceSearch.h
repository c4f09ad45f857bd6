#pragma once

#include <Poco/Types.h>

#include <map>
#include <vector>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataChannel.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataWhichTrendLogs.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// One device's part of the trend log pusher's search: its object list for the trend logs (trend log
/// and trend log multiple), ReadPropertyMultiple for the properties of the device, of its trend logs
/// and of the objects they log.
///
/// It works with the blocking services it is given, on their thread, and touches nothing but the
/// device it searches: several searches run at once, each with services of its own. The services
/// and the search settings are not owned and must outlive the search.
class DeviceSearch
{
public:
    struct Outcome
    {
        /// The number of trend logs new to the device; -1 when the search failed or was stopped.
        Poco::Int32 found = 0;
        /// The device holds trend log objects (excluded ones too): a new device is kept only then.
        bool hasTrendLogs = false;
        /// A stop request ended the search.
        bool stopped = false;
    };

    DeviceSearch(Client::ServiceHelper& services, const DataWhichTrendLogs& which);

    /// Searches `device`: one found before (`isNew` false), whose trend logs are looked for again and
    /// whose new ones are appended, or a new one. An excluded device is left as it is (found 0). On
    /// failure the trend logs read before it stay in `device`.
    Outcome search(DataDevice& device, bool isNew);
    /// Reads the device properties; false when the read failed or a required property is missing.
    bool collectDevice(DataDevice& device);

private:
    /// `result`, noting a stop request.
    Client::ServiceHelper::SyncReslut noted(Client::ServiceHelper::SyncReslut result);
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
    /// The answer of a logged device about its names and vendor (ReadPropertyMultiple), asked once per
    /// search however many channels it logs: empty when it failed.
    using LoggedDevice = std::vector<Client::DataResponseRPM>;
    /// The logged device `deviceInstance`'s answer; null on a stop request.
    const LoggedDevice* loggedDevice(Poco::UInt32 deviceInstance);
    /// True when `ref` (device and object) is excluded.
    bool isBlackList(const DataType::BACnetDeviceObjectReference& ref) const;

    Client::ServiceHelper& _services;
    const DataWhichTrendLogs& _which;
    bool _stopRequested = false;
    std::map<Poco::UInt32, LoggedDevice> _loggedDevices;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
