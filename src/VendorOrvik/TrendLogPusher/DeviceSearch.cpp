#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DeviceSearch.h"

#include <Poco/Exception.h>

#include <algorithm>

#include "Orvik_BACnet/ObjectTypeTraits.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
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

DeviceSearch::DeviceSearch(ServiceHelper& services, const DataWhichTrendLogs& which)
    : _services(services), _which(which)
{
}

DeviceSearch::Outcome DeviceSearch::search(DataDevice& device, bool isNew)
{
    Outcome outcome;
    const ObjectIdentifier deviceIdentifier(OBJECT_DEVICE, device.deviceInstance);
    if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, deviceIdentifier)))
    {
        return outcome;
    }
    if (!isNew)
    {
        device.setLoggersFound(false);
    }
    const auto failed = [&]
    {
        outcome.found = -1;
        outcome.stopped = _stopRequested;
        return outcome;
    };
    ValueContainer objectList;
    DataError error;
    if (noted(_services.syncRP(
            DataPropertyKey(DataObjectKey(device.deviceInstance, deviceIdentifier), PROP_OBJECT_LIST),
            objectList, &error)) != ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return failed();
    }
    for (const BACnetValue& element : objectList.getBACnetPrimitives())
    {
        const ObjectIdentifier* pIdentifier = element.getIf<ObjectIdentifier>();
        if (pIdentifier == nullptr || !ObjectTypeTraits::isTrendLog(pIdentifier->getObjectType()))
        {
            continue;
        }
        outcome.hasTrendLogs = true;
        if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, *pIdentifier)))
        {
            continue;
        }
        const Poco::Int32 result =
            collectTrendLog(DataObjectKey(device.deviceInstance, *pIdentifier), device.trendLogs);
        if (result < 0)
        {
            return failed();
        }
        if (result > 0)
        {
            ++outcome.found;
            if (!isNew)
            {
                device.props.systemStatus = MAX_DEVICE_STATUS;
            }
        }
    }
    if ((outcome.hasTrendLogs || !isNew) && device.props.systemStatus >= MAX_DEVICE_STATUS &&
        !collectDevice(device))
    {
        return failed();
    }
    return outcome;
}

bool DeviceSearch::collectDevice(DataDevice& device)
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

ServiceHelper::SyncReslut DeviceSearch::noted(ServiceHelper::SyncReslut result)
{
    if (result == ServiceHelper::SYNC_RESULT_STOP)
    {
        _stopRequested = true;
    }
    return result;
}

Poco::Int32 DeviceSearch::collectTrendLog(const DataObjectKey& key, std::vector<DataTrendLog>& trendLogs)
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

bool DeviceSearch::collectLoggingFromObjects(const ObjectIdentifier& parentDeviceIdentifier,
                                             const std::vector<BACnetDeviceObjectPropertyReference>& refs,
                                             std::vector<DataChannel>& channels)
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

bool DeviceSearch::collectLoggingFromObject(const BACnetDeviceObjectPropertyReference& ref,
                                            DataChannel& channel)
{
    const Poco::UInt32 deviceInstance = channel.getLoggedDeviceIdentifier().getInstance();
    const LoggedDevice* pLoggedDevice = loggedDevice(deviceInstance);
    if (pLoggedDevice == nullptr)
    {
        return false;
    }
    const auto setDeviceValue = [&channel](BACNET_PROPERTY_ID id, const ValueContainer& value)
    { channel.props.setDeviceValue(id, value); };
    for (const DataResponseRPM& object : *pLoggedDevice)
    {
        if (!takeOverValues(object, DataChannel::Properties::isRequired, setDeviceValue))
        {
            return true;
        }
    }
    std::vector<DataResponseRPM> responses;
    DataError error;
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

const DeviceSearch::LoggedDevice* DeviceSearch::loggedDevice(Poco::UInt32 deviceInstance)
{
    const auto known = _loggedDevices.find(deviceInstance);
    if (known != _loggedDevices.end())
    {
        return &known->second;
    }
    const std::vector<NotificationRequestRPM::Parameter> request{NotificationRequestRPM::Parameter(
        ObjectIdentifier(OBJECT_DEVICE, deviceInstance),
        wholeProperties({PROP_OBJECT_NAME, PROP_VENDOR_IDENTIFIER, PROP_VENDOR_NAME, PROP_MODEL_NAME}))};
    LoggedDevice responses;
    DataError error;
    switch (noted(_services.syncRPM(deviceInstance, request, responses, &error)))
    {
        case ServiceHelper::SYNC_RESULT_STOP:
            return nullptr;
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            break;
        default:
            // A device that cannot tell its names leaves them empty in each channel.
            responses.clear();
            break;
    }
    return &_loggedDevices.emplace(deviceInstance, std::move(responses)).first->second;
}

bool DeviceSearch::isBlackList(const BACnetDeviceObjectReference& ref) const
{
    const auto& excluded = _which.blacklistLoggers;
    return std::find(excluded.begin(), excluded.end(), ref) != excluded.end();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
