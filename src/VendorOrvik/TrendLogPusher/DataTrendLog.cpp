#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"

#include <Poco/NumberFormatter.h>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

bool DataTrendLog::Properties::isRequired(BACNET_PROPERTY_ID propertyIdentifier)
{
    switch (propertyIdentifier)
    {
        case PROP_OBJECT_NAME:
        case PROP_BUFFER_SIZE:
        case PROP_ENABLE:
        case PROP_RECORD_COUNT:
        case PROP_TOTAL_RECORD_COUNT:
            return true;
        default:
            return false;
    }
}

void DataTrendLog::Properties::setValue(BACNET_PROPERTY_ID propertyIdentifier, const ValueContainer& value)
{
    switch (propertyIdentifier)
    {
        case PROP_OBJECT_NAME:
            value.getString(objName, ", ", false);
            break;
        case PROP_ENABLE:
            enable = value.getBool();
            break;
        case PROP_LOGGING_TYPE:
            loggingType = static_cast<BACNET_LOGGING_TYPE>(value.getEnum());
            break;
        case PROP_BUFFER_SIZE:
            bufferSize = value.getUInt();
            break;
        case PROP_RECORD_COUNT:
            recordCnt = value.getUInt();
            break;
        case PROP_TOTAL_RECORD_COUNT:
            totalRecordCnt = value.getUInt();
            break;
        case PROP_ALIGN_INTERVALS:
            alignIntervals = value.getBool() ? 1 : 0;
            break;
        case PROP_LOG_INTERVAL:
            logInterval = value.getUInt();
            break;
        case PROP_INTERVAL_OFFSET:
            intervalOffset = value.getUInt();
            break;
        case PROP_PROPRIETARY_RESET_ADJUST_VALUE:
            resetAdjustValue = static_cast<BACNET_PROPERTY_RESET_ADJUST_VALUE>(value.getEnum());
            break;
        default:
            break;
    }
}

DataTrendLog::DataTrendLog(const Client::DataObjectKey& key)
    : objKey(DataType::BACnetDeviceObjectReference(
          DataType::ObjectIdentifier(OBJECT_DEVICE, key.deviceInstance), key.objectIdentifier))
{
}

DataTrendLog::DataTrendLog(const Position& position) : objKey(position) {}

void DataTrendLog::markup(WS::MarkupFactory& mf, Poco::UInt32 name, bool openArray) const
{
    using Poco::NumberFormatter;
    using WS::MarkupFactory;
    if (!loggerFound)
    {
        return;
    }
    ValueContainer value;
    mf.markup(MarkupFactory::BT_STRUCT, NumberFormatter::format(name),
              MarkupFactory::Options().open().startArray(openArray));
    mf.markup(OBJECT_TRENDLOG, PROP_OBJECT_NAME, props.objName);
    value.setBool(props.enable);
    mf.markupT(OBJECT_TRENDLOG, PROP_ENABLE, value);
    mf.markup(OBJECT_TRENDLOG, PROP_LOGGING_TYPE,
              NumberFormatter::format(static_cast<Poco::UInt32>(props.loggingType)),
              MarkupFactory::Options().startArray());
    mf.markup(OBJECT_TRENDLOG, PROP_BUFFER_SIZE, NumberFormatter::format(props.bufferSize));
    mf.markup(OBJECT_TRENDLOG, PROP_RECORD_COUNT, NumberFormatter::format(props.recordCnt));
    mf.markup(OBJECT_TRENDLOG, PROP_TOTAL_RECORD_COUNT, NumberFormatter::format(props.totalRecordCnt));
    if (props.alignIntervals >= 0)
    {
        value.setBool(props.alignIntervals != 0);
        mf.markupT(OBJECT_TRENDLOG, PROP_ALIGN_INTERVALS, value);
        mf.markup(OBJECT_TRENDLOG, PROP_LOG_INTERVAL, NumberFormatter::format(props.logInterval),
                  MarkupFactory::Options().startArray());
        mf.markup(OBJECT_TRENDLOG, PROP_INTERVAL_OFFSET, NumberFormatter::format(props.intervalOffset));
    }
    if (props.resetAdjustValue <= RESET_ADJUST_VALUE_RESET_SCALE)
    {
        value.setEnum(props.resetAdjustValue);
        mf.markupT(OBJECT_TRENDLOG, PROP_PROPRIETARY_RESET_ADJUST_VALUE, value);
    }
    mf.markup(MarkupFactory::BT_ARRAY, "channels", MarkupFactory::Options().open());
    for (std::size_t k = 0; k < channels.size(); ++k)
    {
        channels[k].markup(mf, static_cast<Poco::UInt32>(k + 1), k == 0 && channels.size() > 1);
    }
    mf.closeOpenMarkup();
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
