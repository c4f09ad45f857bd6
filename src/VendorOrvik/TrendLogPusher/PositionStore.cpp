#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PositionStore.h"

#include <algorithm>
#include <exception>

#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

const Poco::UInt32 _ALL_ELEMENTS = 0xFFFFFFFF;

/// A stored value that holds nothing, or only a BACnet NULL.
bool isNullValue(const ValueContainer& value)
{
    return value.isNull() || (value.size() == 1 && value.at(0).isNull());
}

}  // namespace

PositionStore::PositionStore(std::vector<DataDevice>& devices, Poco::Int32 idAppInstance)
    : _devices(devices), _idAppInstance(idAppInstance)
{
}

DataDevice* PositionStore::findDevice(Poco::UInt32 deviceInstance)
{
    auto it = std::find_if(_devices.begin(), _devices.end(),
                           [deviceInstance](const DataDevice& device)
                           { return device.deviceInstance == deviceInstance; });
    return it == _devices.end() ? nullptr : &*it;
}

void PositionStore::initLoggers(std::vector<Position> positions)
{
    for (const Position& position : positions)
    {
        DataDevice* pDevice = findDevice(position.getDeviceInstance());
        if (pDevice == nullptr)
        {
            DataDevice device(position.getDeviceInstance());
            device.trendLogs.emplace_back(position);
            _devices.push_back(std::move(device));
            continue;
        }
        // Type and instance: a trend log and a trend log multiple of one device may share an instance,
        // and taking one's position for the other's would skip or repeat records.
        const DataType::ObjectIdentifier object = position.getObjectIdentifier();
        auto it = std::find_if(pDevice->trendLogs.begin(), pDevice->trendLogs.end(),
                               [&object](const DataTrendLog& tl)
                               { return tl.objKey.getObjectIdentifier() == object; });
        if (it == pDevice->trendLogs.end())
        {
            pDevice->trendLogs.emplace_back(position);
        }
        else
        {
            it->objKey.setLastUploaded(position.getTimeStamp(), position.getSequenceNumber());
        }
    }
}

void PositionStore::getDevicesAsValueContainer(ValueContainer& out) const
{
    std::vector<Position> positions;
    for (const DataDevice& device : _devices)
    {
        for (const DataTrendLog& tl : device.trendLogs)
        {
            positions.push_back(tl.objKey);
        }
    }
    out.setValues(positions);
}

void PositionStore::dbUpdateLastRetrievedTimestamps() const
{
    ValueContainer value;
    getDevicesAsValueContainer(value);
    AppBase::dbUpdatePropertyInstance(_idAppInstance, _PROPERTY_ID_LOGGERS, value, _ALL_ELEMENTS);
}

void PositionStore::dbGetLastRetrievedTimestamps()
{
    // A trend log found by a search that then failed was never stored: its records were never
    // confirmed, so it starts from the beginning again rather than after an unconfirmed document.
    for (DataDevice& device : _devices)
    {
        for (DataTrendLog& tl : device.trendLogs)
        {
            tl.objKey.setLastUploaded(Poco::Timestamp(0), 0);
        }
    }
    ValueContainer stored;
    if (AppBase::dbGetPropertyInstance(_idAppInstance, _PROPERTY_ID_LOGGERS, stored) > 0 &&
        !isNullValue(stored))
    {
        std::vector<Position> positions;
        initLoggers(stored.getValues(positions));
    }
}

void PositionStore::reloadAfterFailure()
{
    try
    {
        dbGetLastRetrievedTimestamps();
    }
    catch (const std::exception&)
    {
        // The positions were set back to the start before the read failed: the next document repeats
        // records instead of skipping any.
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
