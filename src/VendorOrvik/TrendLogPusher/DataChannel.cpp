#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataChannel.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

bool DataChannel::Properties::isRequired(BACNET_PROPERTY_ID propertyIdentifier)
{
    switch (propertyIdentifier)
    {
        case PROP_MODEL_NAME:
        case PROP_OBJECT_NAME:
        case PROP_VENDOR_IDENTIFIER:
        case PROP_VENDOR_NAME:
            return true;
        case PROP_MAX_PRES_VALUE:
        case PROP_RELIABILITY:
        case PROP_UNITS:
            return false;
        default:
            throw Poco::InvalidArgumentException("not a channel property", 0);
    }
}

void DataChannel::Properties::setDeviceValue(BACNET_PROPERTY_ID propertyIdentifier,
                                             const ValueContainer& value)
{
    switch (propertyIdentifier)
    {
        case PROP_OBJECT_NAME:
            value.getString(deviceName, ", ", false);
            break;
        case PROP_VENDOR_IDENTIFIER:
            vendorIdentifier = value.getUInt();
            break;
        case PROP_VENDOR_NAME:
            value.getString(vendorName, ", ", false);
            break;
        case PROP_MODEL_NAME:
            value.getString(modelName, ", ", false);
            break;
        default:
            break;
    }
}

void DataChannel::Properties::setObjectValue(BACNET_PROPERTY_ID propertyIdentifier,
                                             const ValueContainer& value)
{
    switch (propertyIdentifier)
    {
        case PROP_OBJECT_NAME:
            value.getString(objName, ", ", false);
            break;
        case PROP_UNITS:
            units = static_cast<BACNET_ENGINEERING_UNITS>(value.getEnum());
            break;
        case PROP_RELIABILITY:
            reliability = static_cast<BACNET_RELIABILITY>(value.getEnum());
            break;
        case PROP_MAX_PRES_VALUE:
            maxPresentValue = value.getUInt();
            break;
        default:
            break;
    }
}

DataChannel::DataChannel(const DataType::ObjectIdentifier& aParentDeviceIdentifier,
                         const DataType::BACnetDeviceObjectPropertyReference& aPropRef)
    : propRef(aPropRef), parentDeviceIdentifier(aParentDeviceIdentifier)
{
}

DataType::ObjectIdentifier DataChannel::getLoggedDeviceIdentifier() const
{
    return propRef.hasDevice() ? propRef.getDeviceIdentifier() : parentDeviceIdentifier;
}

void DataChannel::markup(WS::MarkupFactory& mf, Poco::UInt32 name, bool openArray) const
{
    using WS::MarkupFactory;
    const BACNET_OBJECT_TYPE objType = propRef.getObjectIdentifier().getObjectType();
    std::string hexIdentifier;
    mf.markup(MarkupFactory::BT_STRUCT, Poco::NumberFormatter::format(name),
              MarkupFactory::Options().open().startArray(openArray));
    mf.markup(MarkupFactory::BT_OCTET_STRING, "unique-idetnifier",
              propRef.getHexIdentifier(parentDeviceIdentifier, hexIdentifier));
    mf.markup(OBJECT_DEVICE, PROP_VENDOR_IDENTIFIER, Poco::NumberFormatter::format(props.vendorIdentifier));
    mf.markup(OBJECT_DEVICE, PROP_VENDOR_NAME, props.vendorName);
    mf.markup(OBJECT_DEVICE, PROP_MODEL_NAME, props.modelName);
    mf.markup(MarkupFactory::BT_STRING, "device-name", props.deviceName);
    mf.markup(objType, PROP_OBJECT_NAME, props.objName);
    propRef.markupByPropertyIdentifier(mf, PROP_LOG_DEVICE_OBJECT_PROPERTY, false);
    ValueContainer value;
    if (props.reliability)
    {
        value.setEnum(*props.reliability);
        mf.markupT(objType, PROP_RELIABILITY, value);
    }
    if (props.units)
    {
        value.setEnum(*props.units);
        mf.markupT(objType, PROP_UNITS, value);
    }
    if (props.maxPresentValue)
    {
        mf.markup(objType, PROP_MAX_PRES_VALUE, Poco::NumberFormatter::format(*props.maxPresentValue));
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
