#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"

#include <Poco/LocalDateTime.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Timestamp.h>

#include "Orvik_BACnet/ConvertItBACnet.h"
#include "Orvik_BACnet/TimeZoneState.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

bool DataDevice::Properties::isRequired(BACNET_PROPERTY_ID propertyIdentifier)
{
    switch (propertyIdentifier)
    {
        case PROP_MODEL_NAME:
        case PROP_OBJECT_NAME:
        case PROP_SYSTEM_STATUS:
        case PROP_VENDOR_IDENTIFIER:
        case PROP_VENDOR_NAME:
            return true;
        default:
            return false;
    }
}

void DataDevice::Properties::setValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value)
{
    switch (propertyIdentifier)
    {
        case PROP_SYSTEM_STATUS:
            systemStatus = static_cast<BACNET_DEVICE_STATUS>(value.getEnum());
            break;
        case PROP_VENDOR_IDENTIFIER:
            vendorIdentifier = static_cast<Poco::UInt16>(value.getUInt());
            break;
        case PROP_VENDOR_NAME:
            value.getString(vendorName, ", ", false);
            break;
        case PROP_MODEL_NAME:
            value.getString(modelName, ", ", false);
            break;
        case PROP_OBJECT_NAME:
            value.getString(objName, ", ", false);
            break;
        case PROP_DESCRIPTION:
            value.getString(description, ", ", false);
            break;
        case PROP_LOCATION:
            value.getString(location, ", ", false);
            break;
        case PROP_LOCAL_DATE:
            localDate = value.getDate();
            break;
        case PROP_LOCAL_TIME:
            localTime = value.getTime();
            break;
        case PROP_UTC_OFFSET:
            utcOffset = value.getInt();
            break;
        case PROP_DAYLIGHT_SAVINGS_STATUS:
            daylightSavingStatus = value.getBool();
            break;
        default:
            break;
    }
}

DataDevice::DataDevice(Poco::UInt32 aDeviceInstance) : deviceInstance(aDeviceInstance) {}

void DataDevice::setLoggersFound(bool found)
{
    for (DataTrendLog& trendLog : trendLogs)
    {
        trendLog.loggerFound = found;
    }
}

Poco::UInt32 DataDevice::getFoundLoggerCnt() const
{
    Poco::UInt32 found = 0;
    for (const DataTrendLog& trendLog : trendLogs)
    {
        found += trendLog.loggerFound ? 1 : 0;
    }
    return found;
}

void DataDevice::markup(WS::MarkupFactory& mf, bool openArray, bool deviceOnly)
{
    using WS::MarkupFactory;
    const Poco::UInt32 found = getFoundLoggerCnt();
    if (found == 0 && !deviceOnly)
    {
        return;
    }
    ValueContainer value;
    mf.markup(MarkupFactory::BT_STRUCT, Poco::NumberFormatter::format(deviceInstance),
              MarkupFactory::Options().open().startArray(openArray));
    value.setEnum(props.systemStatus);
    mf.markupT(OBJECT_DEVICE, PROP_SYSTEM_STATUS, value);
    mf.markup(OBJECT_DEVICE, PROP_VENDOR_IDENTIFIER, Poco::NumberFormatter::format(props.vendorIdentifier));
    mf.markup(OBJECT_DEVICE, PROP_VENDOR_NAME, props.vendorName);
    mf.markup(OBJECT_DEVICE, PROP_MODEL_NAME, props.modelName);
    mf.markup(OBJECT_DEVICE, PROP_OBJECT_NAME, props.objName);
    if (!props.description.empty())
    {
        mf.markup(OBJECT_DEVICE, PROP_DESCRIPTION, props.description);
    }
    if (!props.location.empty())
    {
        mf.markup(OBJECT_DEVICE, PROP_LOCATION, props.location);
    }
    markupClock(mf);
    if (!deviceOnly)
    {
        markupLoggers(mf, found);
    }
    mf.closeOpenMarkup();
}

void DataDevice::markupClock(WS::MarkupFactory& mf)
{
    // The gateway's clock stands in for the device's: a device whose date was never read has none.
    ValueContainer value;
    const TimeZoneState zone = TimeZoneState::at(Poco::Timestamp());
    if (props.localDate.year != 0)
    {
        const Poco::LocalDateTime now;
        Orvik::Utility::ConvertIt::getBACnetDate(now, props.localDate);
        Orvik::Utility::ConvertIt::getBACnetTime(now, props.localTime);
        props.utcOffset = zone.utcOffset;
        value.setDate(props.localDate);
        mf.markupT(OBJECT_DEVICE, PROP_LOCAL_DATE, value);
        value.setTime(props.localTime);
        mf.markupT(OBJECT_DEVICE, PROP_LOCAL_TIME, value);
        std::string offsetText;
        mf.markup(OBJECT_DEVICE, PROP_UTC_OFFSET,
                  Orvik::Utility::ConvertIt::setInt(props.utcOffset, offsetText));
    }
    props.daylightSavingStatus = zone.daylightSaving;
    value.setBool(props.daylightSavingStatus);
    mf.markupT(OBJECT_DEVICE, PROP_DAYLIGHT_SAVINGS_STATUS, value);
}

void DataDevice::markupLoggers(WS::MarkupFactory& mf, Poco::UInt32 found) const
{
    mf.markup(WS::MarkupFactory::BT_LIST, "loggers", WS::MarkupFactory::Options().open());
    for (std::size_t i = 0; i < trendLogs.size(); ++i)
    {
        trendLogs[i].markup(mf, static_cast<Poco::UInt32>(i + 1), i == 0 && found > 1);
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
