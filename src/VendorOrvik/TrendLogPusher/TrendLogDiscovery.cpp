#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogDiscovery.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <memory>

#include "Orvik_BACnet/ObjectTypeTraits.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using Client::DataObjectKey;
using Client::DataPropertyKey;
using Client::DataPropertyRef;
using Client::DataResponseRPM;
using Client::NotificationRequestRPM;
using Client::ServiceHelper;
using DataType::BACnetDeviceObjectPropertyReference;
using DataType::BACnetDeviceObjectReference;
using DataType::ObjectIdentifier;

namespace
{

const Poco::Int64 _MICROSECONDS_PER_MINUTE = 60000000;

std::vector<DataPropertyRef> wholeProperties(std::initializer_list<BACNET_PROPERTY_ID> propertyIdentifiers)
{
    std::vector<DataPropertyRef> refs;
    for (BACNET_PROPERTY_ID propertyIdentifier : propertyIdentifiers)
    {
        refs.emplace_back(propertyIdentifier);
    }
    return refs;
}

/// Takes over the values of one object of a ReadPropertyMultiple reply with `set`. A value that carries
/// an error, or that does not fit its field, ends the reading (false) when its property is required
/// and is skipped otherwise.
template <class IsRequired, class Setter>
bool takeOverValues(const DataResponseRPM& object, IsRequired isRequired, Setter set)
{
    for (const DataResponseRPM::Value& entry : object.values)
    {
        const BACNET_PROPERTY_ID propertyIdentifier = entry.propertyRef.propertyIdentifier;
        bool taken = !entry.hasError();
        if (taken)
        {
            try
            {
                set(propertyIdentifier, entry.value);
            }
            catch (const Poco::Exception&)
            {
                // A device that sends a value of the wrong type is treated like one that sends an error.
                taken = false;
            }
        }
        if (!taken && isRequired(propertyIdentifier))
        {
            return false;
        }
    }
    return true;
}

}  // namespace

TrendLogDiscovery::TrendLogDiscovery(ServiceHelper& services, std::vector<DataDevice>& devices,
                                     const DataWhichTrendLogs& which, PositionStore& positions,
                                     Poco::UInt32 ownDeviceInstance)
    : _services(services),
      _devices(devices),
      _which(which),
      _positions(positions),
      _ownDeviceInstance(ownDeviceInstance)
{
}

bool TrendLogDiscovery::isRefreshDue() const
{
    return _which.collectTrendLogs != DataWhichTrendLogs::FROM_PARAMETER_LIST &&
           _which.refreshTrendlLogListIntervalMinutes != 0 && Poco::Clock() > _nextTrendLogCollect;
}

void TrendLogDiscovery::collectTrendLogs()
{
    Poco::Int32 found = 0;
    switch (_which.collectTrendLogs)
    {
        case DataWhichTrendLogs::FROM_PARAMETER_LIST:
            return;
        case DataWhichTrendLogs::FROM_LOCAL_DEVICE:
            found = collectTrendLogsFromDevice(_ownDeviceInstance);
            break;
        default:
            found = collectNetworkedTrendLogs();
            break;
    }
    if (found > 0)
    {
        _positions.dbUpdateLastRetrievedTimestamps();
    }
    if (_which.refreshTrendlLogListIntervalMinutes != 0)
    {
        _nextTrendLogCollect.update();
        _nextTrendLogCollect +=
            static_cast<Poco::Int64>(_which.refreshTrendlLogListIntervalMinutes) * _MICROSECONDS_PER_MINUTE;
    }
}

ServiceHelper::SyncReslut TrendLogDiscovery::noted(ServiceHelper::SyncReslut result)
{
    if (result == ServiceHelper::SYNC_RESULT_STOP)
    {
        _stopRequested = true;
    }
    return result;
}

Poco::Int32 TrendLogDiscovery::collectNetworkedTrendLogs()
{
    _stopRequested = false;
    std::vector<Client::DataResponseWhoIs> responses;
    DataError error;
    // Instance 0 is a device like any other.
    if (noted(_services.syncWhoIs(DataType::BACnetAddress(), 0, ObjectIdentifier::_MAX_INSTANCE, responses,
                                  &error)) != ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return -1;
    }
    // A device that fails is passed over: it must not hide the devices that answered after it. The
    // search still counts as failed (nothing is stored for it); a stop request ends it at once.
    Poco::Int32 total = 0;
    bool failed = false;
    for (const Client::DataResponseWhoIs& response : responses)
    {
        const Poco::Int32 found = collectTrendLogsFromDevice(response.deviceInstance);
        if (found < 0 && _stopRequested)
        {
            return found;
        }
        failed = failed || found < 0;
        total += std::max(found, 0);
    }
    return failed ? -1 : total;
}

Poco::Int32 TrendLogDiscovery::collectTrendLogsFromDevice(Poco::UInt32 deviceInstance)
{
    const ObjectIdentifier deviceIdentifier(OBJECT_DEVICE, deviceInstance);
    if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, deviceIdentifier)))
    {
        return 0;
    }
    DataDevice* pDevice = _positions.findDevice(deviceInstance);
    if (pDevice != nullptr)
    {
        pDevice->setLoggersFound(false);
    }
    ValueContainer objectList;
    DataError error;
    if (noted(_services.syncRP(
            DataPropertyKey(DataObjectKey(deviceInstance, deviceIdentifier), PROP_OBJECT_LIST), objectList,
            &error)) != ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return -1;
    }
    std::unique_ptr<DataDevice> pNewDevice;
    Poco::Int32 found = 0;
    for (const BACnetValue& element : objectList.getBACnetPrimitives())
    {
        const ObjectIdentifier* pIdentifier = element.getIf<ObjectIdentifier>();
        if (pIdentifier == nullptr || !ObjectTypeTraits::isTrendLog(pIdentifier->getObjectType()))
        {
            continue;
        }
        if (pDevice == nullptr)
        {
            pNewDevice = std::make_unique<DataDevice>(deviceInstance);
            pDevice = pNewDevice.get();
        }
        if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, *pIdentifier)))
        {
            continue;
        }
        const Poco::Int32 result =
            collectTrendLog(DataObjectKey(deviceInstance, *pIdentifier), pDevice->trendLogs);
        if (result < 0)
        {
            return -1;
        }
        if (result > 0)
        {
            ++found;
            if (!pNewDevice)
            {
                pDevice->props.systemStatus = MAX_DEVICE_STATUS;
            }
        }
    }
    if (pDevice != nullptr && pDevice->props.systemStatus >= MAX_DEVICE_STATUS && !collectDevice(*pDevice))
    {
        return -1;
    }
    if (pNewDevice)
    {
        _devices.push_back(std::move(*pNewDevice));
    }
    return found;
}

bool TrendLogDiscovery::collectDevice(DataDevice& device)
{
    const std::vector<NotificationRequestRPM::Parameter> request{NotificationRequestRPM::Parameter(
        ObjectIdentifier(OBJECT_DEVICE, device.deviceInstance),
        wholeProperties({PROP_SYSTEM_STATUS, PROP_VENDOR_NAME, PROP_VENDOR_IDENTIFIER, PROP_MODEL_NAME,
                         PROP_OBJECT_NAME, PROP_DESCRIPTION, PROP_LOCATION, PROP_LOCAL_DATE, PROP_LOCAL_TIME,
                         PROP_UTC_OFFSET, PROP_DAYLIGHT_SAVINGS_STATUS}))};
    std::vector<DataResponseRPM> responses;
    DataError error;
    if (noted(_services.syncRPM(device.deviceInstance, request, responses, &error)) !=
            ServiceHelper::SYNC_RESULT_SUCCESS ||
        responses.empty())
    {
        return false;
    }
    return takeOverValues(responses.front(), DataDevice::Properties::isRequired,
                          [&device](BACNET_PROPERTY_ID id, const ValueContainer& value)
                          { device.props.setValue(id, value); });
}

Poco::Int32 TrendLogDiscovery::collectTrendLog(const DataObjectKey& key, std::vector<DataTrendLog>& trendLogs)
{
    const ObjectIdentifier deviceIdentifier(OBJECT_DEVICE, key.deviceInstance);
    auto it = std::find_if(trendLogs.begin(), trendLogs.end(),
                           [&](const DataTrendLog& tl)
                           {
                               return tl.objKey.getDeviceIdentifier() == deviceIdentifier &&
                                      tl.objKey.getObjectIdentifier() == key.objectIdentifier;
                           });
    if (it != trendLogs.end() && it->loggerFound)
    {
        return 0;
    }
    DataTrendLog newTrendLog(key);
    DataTrendLog& tl = it != trendLogs.end() ? *it : newTrendLog;
    const std::vector<NotificationRequestRPM::Parameter> request{NotificationRequestRPM::Parameter(
        key.objectIdentifier,
        wholeProperties({PROP_OBJECT_NAME, PROP_LOG_DEVICE_OBJECT_PROPERTY, PROP_ENABLE, PROP_LOGGING_TYPE,
                         PROP_BUFFER_SIZE, PROP_RECORD_COUNT, PROP_TOTAL_RECORD_COUNT, PROP_ALIGN_INTERVALS,
                         PROP_LOG_INTERVAL, PROP_INTERVAL_OFFSET, PROP_PROPRIETARY_RESET_ADJUST_VALUE}))};
    std::vector<DataResponseRPM> responses;
    DataError error;
    if (noted(_services.syncRPM(key.deviceInstance, request, responses, &error)) !=
            ServiceHelper::SYNC_RESULT_SUCCESS ||
        responses.empty())
    {
        return -1;
    }
    const DataResponseRPM& object = responses.front();
    const bool multiple = object.objectIdentifier.getObjectType() == OBJECT_TREND_LOG_MULTIPLE;
    bool channelsRead = true;
    const bool taken =
        takeOverValues(object, DataTrendLog::Properties::isRequired,
                       [&](BACNET_PROPERTY_ID id, const ValueContainer& value)
                       {
                           if (id != PROP_LOG_DEVICE_OBJECT_PROPERTY)
                           {
                               tl.props.setValue(id, value);
                               return;
                           }
                           // A trend log multiple logs a list, a trend log one reference.
                           std::vector<BACnetDeviceObjectPropertyReference> refs;
                           for (const BACnetValue& element : value.getBACnetPrimitives())
                           {
                               if (const auto* pRef = element.getIf<BACnetDeviceObjectPropertyReference>())
                               {
                                   refs.push_back(*pRef);
                               }
                               if (!multiple)
                               {
                                   break;
                               }
                           }
                           channelsRead = collectLoggingFromObjects(deviceIdentifier, refs, tl.channels);
                       });
    if (!taken || !channelsRead)
    {
        return -1;
    }
    tl.loggerFound = true;
    if (it != trendLogs.end())
    {
        return 0;
    }
    trendLogs.push_back(std::move(newTrendLog));
    return 1;
}

bool TrendLogDiscovery::collectLoggingFromObjects(
    const ObjectIdentifier& parentDeviceIdentifier,
    const std::vector<BACnetDeviceObjectPropertyReference>& refs, std::vector<DataChannel>& channels)
{
    channels.clear();
    for (const BACnetDeviceObjectPropertyReference& ref : refs)
    {
        DataChannel channel(parentDeviceIdentifier, ref);
        if (!collectLoggingFromObject(ref, channel))
        {
            return false;
        }
        channels.push_back(std::move(channel));
    }
    return true;
}

bool TrendLogDiscovery::collectLoggingFromObject(const BACnetDeviceObjectPropertyReference& ref,
                                                 DataChannel& channel)
{
    const ObjectIdentifier deviceIdentifier = channel.getLoggedDeviceIdentifier();
    const Poco::UInt32 deviceInstance = deviceIdentifier.getInstance();
    std::vector<DataResponseRPM> responses;
    DataError error;
    const std::vector<NotificationRequestRPM::Parameter> deviceRequest{NotificationRequestRPM::Parameter(
        deviceIdentifier,
        wholeProperties({PROP_OBJECT_NAME, PROP_VENDOR_IDENTIFIER, PROP_VENDOR_NAME, PROP_MODEL_NAME}))};
    const auto setDeviceValue = [&channel](BACNET_PROPERTY_ID id, const ValueContainer& value)
    { channel.props.setDeviceValue(id, value); };
    switch (noted(_services.syncRPM(deviceInstance, deviceRequest, responses, &error)))
    {
        case ServiceHelper::SYNC_RESULT_STOP:
            return false;
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            for (const DataResponseRPM& object : responses)
            {
                if (!takeOverValues(object, DataChannel::Properties::isRequired, setDeviceValue))
                {
                    return true;
                }
            }
            break;
        default:
            break;
    }
    std::vector<DataPropertyRef> objectProperties =
        wholeProperties({PROP_OBJECT_NAME, PROP_UNITS, PROP_RELIABILITY});
    if (ref.getObjectIdentifier().getObjectType() == OBJECT_ACCUMULATOR)
    {
        objectProperties.emplace_back(PROP_MAX_PRES_VALUE);
    }
    const std::vector<NotificationRequestRPM::Parameter> objectRequest{
        NotificationRequestRPM::Parameter(ref.getObjectIdentifier(), objectProperties)};
    const auto setObjectValue = [&channel](BACNET_PROPERTY_ID id, const ValueContainer& value)
    { channel.props.setObjectValue(id, value); };
    switch (noted(_services.syncRPM(deviceInstance, objectRequest, responses, &error)))
    {
        case ServiceHelper::SYNC_RESULT_STOP:
            return false;
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            for (const DataResponseRPM& object : responses)
            {
                if (!takeOverValues(object, DataChannel::Properties::isRequired, setObjectValue))
                {
                    return true;
                }
            }
            return true;
        default:
            return true;
    }
}

bool TrendLogDiscovery::isBlackList(const BACnetDeviceObjectReference& ref) const
{
    const auto& excluded = _which.blacklistLoggers;
    return std::find(excluded.begin(), excluded.end(), ref) != excluded.end();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
