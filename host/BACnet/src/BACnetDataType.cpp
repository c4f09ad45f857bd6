#include "Orvik_BACnet/BACnetDataType.h"

#include <cstring>
#include <iterator>

namespace Orvik::BACnet
{

namespace
{

struct DataTypeName
{
    BACnetDataType dataType;
    const char* name;
};

// Names as property-datatypes.csv writes them.
const DataTypeName _DATA_TYPE_NAMES[] = {
    {BACNET_DT_NULL, "NULL"},
    {BACNET_DT_BOOLEAN, "BOOLEAN"},
    {BACNET_DT_UNSIGNED, "UNSIGNED"},
    {BACNET_DT_SIGNED, "SIGNED"},
    {BACNET_DT_REAL, "REAL"},
    {BACNET_DT_DOUBLE, "DOUBLE"},
    {BACNET_DT_OCTET_STRING, "OCTET_STRING"},
    {BACNET_DT_CHARACTER_STRING, "CHARACTER_STRING"},
    {BACNET_DT_BIT_STRING, "BIT_STRING"},
    {BACNET_DT_ENUMERATED, "ENUMERATED"},
    {BACNET_DT_DATE, "DATE"},
    {BACNET_DT_TIME, "TIME"},
    {BACNET_DT_OBJECT_IDENTIFIER, "OBJECT_IDENTIFIER"},
    {BACNET_DT_ANY, "ANY"},
    {BACNET_DT_DATE_TIME, "BACnetDateTime"},
    {BACNET_DT_TIME_STAMP, "BACnetTimeStamp"},
    {BACNET_DT_OBJECT_PROPERTY_REFERENCE, "BACnetObjectPropertyReference"},
    {BACNET_DT_DEVICE_OBJECT_REFERENCE, "BACnetDeviceObjectReference"},
    {BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE, "BACnetDeviceObjectPropertyReference"},
    {BACNET_DT_ADDRESS, "BACnetAddress"},
    {BACNET_DT_LOG_RECORD, "BACnetLogRecord"},
    {BACNET_DT_ACCUMULATOR_RECORD, "BACnetAccumulatorRecord"},
    {BACNET_DT_ACTION_LIST, "BACnetActionList"},
    {BACNET_DT_ADDRESS_BINDING, "BACnetAddressBinding"},
    {BACNET_DT_CALENDAR_ENTRY, "BACnetCalendarEntry"},
    {BACNET_DT_CLIENT_COV, "BACnetClientCOV"},
    {BACNET_DT_COV_MULTIPLE_SUBSCRIPTION, "BACnetCOVMultipleSubscription"},
    {BACNET_DT_COV_SUBSCRIPTION, "BACnetCOVSubscription"},
    {BACNET_DT_DAILY_SCHEDULE, "BACnetDailySchedule"},
    {BACNET_DT_DATE_RANGE, "BACnetDateRange"},
    {BACNET_DT_DESTINATION, "BACnetDestination"},
    {BACNET_DT_EVENT_LOG_RECORD, "BACnetEventLogRecord"},
    {BACNET_DT_EVENT_PARAMETER, "BACnetEventParameter"},
    {BACNET_DT_FAULT_PARAMETER, "BACnetFaultParameter"},
    {BACNET_DT_LOG_MULTIPLE_RECORD, "BACnetLogMultipleRecord"},
    {BACNET_DT_NAME_VALUE, "BACnetNameValue"},
    {BACNET_DT_NAME_VALUE_COLLECTION, "BACnetNameValueCollection"},
    {BACNET_DT_OPTIONAL_PRIORITY_FILTER, "BACnetOptionalPriorityFilter"},
    {BACNET_DT_PRESCALE, "BACnetPrescale"},
    {BACNET_DT_RECIPIENT, "BACnetRecipient"},
    {BACNET_DT_SCALE, "BACnetScale"},
    {BACNET_DT_SETPOINT_REFERENCE, "BACnetSetpointReference"},
    {BACNET_DT_SPECIAL_EVENT, "BACnetSpecialEvent"},
    {BACNET_DT_VALUE_SOURCE, "BACnetValueSource"},
    {BACNET_DT_VT_SESSION, "BACnetVTSession"},
    {BACNET_DT_TREND_LOG_LAST_UPLOADED, "BACnetTrendLogLastUploaded"},
};

// Optional values: NULL or the datatype they carry.
const DataTypeName _OPTIONAL_NAMES[] = {
    {BACNET_DT_REAL, "BACnetOptionalREAL"},
    {BACNET_DT_UNSIGNED, "BACnetOptionalUnsigned"},
    {BACNET_DT_CHARACTER_STRING, "BACnetOptionalCharacterString"},
    {BACNET_DT_ENUMERATED, "BACnetOptionalBinaryPV"},
};

}  // namespace

const char* BACnetDataTypeInfo::name(std::uint32_t dataType)
{
    for (const DataTypeName& entry : _DATA_TYPE_NAMES)
    {
        if (entry.dataType == dataType)
        {
            return entry.name;
        }
    }
    return "";
}

bool BACnetDataTypeInfo::fromName(const std::string& name, BACnetDataType carried, BACnetDataType& dataType)
{
    if (name == "BACnetPriorityValue")
    {
        dataType = carried;
        return true;
    }
    for (const DataTypeName& entry : _OPTIONAL_NAMES)
    {
        if (name == entry.name)
        {
            dataType = entry.dataType;
            return true;
        }
    }
    for (const DataTypeName& entry : _DATA_TYPE_NAMES)
    {
        if (name == entry.name)
        {
            dataType = entry.dataType;
            return true;
        }
    }
    return false;
}

bool BACnetDataTypeInfo::isHoldable(std::uint32_t dataType)
{
    return isPrimitive(dataType) || dataType == BACNET_DT_ANY ||
           (dataType >= BACNET_DT_DATE_TIME && dataType <= BACNET_DT_LOG_RECORD) ||
           dataType == BACNET_DT_TREND_LOG_LAST_UPLOADED;
}

BACNET_APPLICATION_TAG BACnetDataTypeInfo::applicationTag(std::uint32_t dataType,
                                                          BACNET_APPLICATION_TAG otherwise)
{
    return isPrimitive(dataType) ? static_cast<BACNET_APPLICATION_TAG>(dataType) : otherwise;
}

}  // namespace Orvik::BACnet
