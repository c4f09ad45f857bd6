#pragma once

#include <cstdint>
#include <string>

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet
{

/// The datatypes of this layer, primitive and constructed. The numbers are stored in the
/// configuration database (ap_app_property.id_bn_datatype) and never change once given out.
///
///   0 .. 12   primitive datatypes; each number equals its BACnet application tag
///             (BACNET_APPLICATION_TAG_NULL .. BACNET_APPLICATION_TAG_OBJECT_IDENTIFIER).
///   16        ANY: one primitive value whose type is the application tag stored beside it
///             (schedule present-value and schedule-default).
///   32 .. 38  constructed datatypes that a ValueContainer holds, reads and writes as text.
///   64 .. 127 constructed datatypes of the standard that the property datatype table names but that
///             a ValueContainer cannot hold (setText fails for them); they let the lookup describe
///             every standard property.
///   1000 ..   proprietary datatypes of the system's own vendor.
///
/// Optional and priority values of the standard (BACnetOptionalREAL, BACnetPriorityValue, ...) are
/// described by the datatype of the value they carry: every primitive element may also be NULL.
enum BACnetDataType : std::uint32_t
{
    BACNET_DT_NULL = 0,
    BACNET_DT_BOOLEAN = 1,
    BACNET_DT_UNSIGNED = 2,
    BACNET_DT_SIGNED = 3,
    BACNET_DT_REAL = 4,
    BACNET_DT_DOUBLE = 5,
    BACNET_DT_OCTET_STRING = 6,
    BACNET_DT_CHARACTER_STRING = 7,
    BACNET_DT_BIT_STRING = 8,
    BACNET_DT_ENUMERATED = 9,
    BACNET_DT_DATE = 10,
    BACNET_DT_TIME = 11,
    BACNET_DT_OBJECT_IDENTIFIER = 12,

    BACNET_DT_ANY = 16,

    BACNET_DT_DATE_TIME = 32,                         // BACnetDateTime
    BACNET_DT_TIME_STAMP = 33,                        // BACnetTimeStamp
    BACNET_DT_OBJECT_PROPERTY_REFERENCE = 34,         // BACnetObjectPropertyReference
    BACNET_DT_DEVICE_OBJECT_REFERENCE = 35,           // BACnetDeviceObjectReference
    BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE = 36,  // BACnetDeviceObjectPropertyReference
    BACNET_DT_ADDRESS = 37,                           // BACnetAddress
    BACNET_DT_LOG_RECORD = 38,                        // BACnetLogRecord (trend-log log-buffer)

    BACNET_DT_ACCUMULATOR_RECORD = 64,
    BACNET_DT_ACTION_LIST = 65,
    BACNET_DT_ADDRESS_BINDING = 66,
    BACNET_DT_CALENDAR_ENTRY = 67,
    BACNET_DT_CLIENT_COV = 68,
    BACNET_DT_COV_MULTIPLE_SUBSCRIPTION = 69,
    BACNET_DT_COV_SUBSCRIPTION = 70,
    BACNET_DT_DAILY_SCHEDULE = 71,
    BACNET_DT_DATE_RANGE = 72,
    BACNET_DT_DESTINATION = 73,
    BACNET_DT_EVENT_LOG_RECORD = 74,
    BACNET_DT_EVENT_PARAMETER = 75,
    BACNET_DT_FAULT_PARAMETER = 76,
    BACNET_DT_LOG_MULTIPLE_RECORD = 77,
    BACNET_DT_NAME_VALUE = 78,
    BACNET_DT_NAME_VALUE_COLLECTION = 79,
    BACNET_DT_OPTIONAL_PRIORITY_FILTER = 80,
    BACNET_DT_PRESCALE = 81,
    BACNET_DT_RECIPIENT = 82,
    BACNET_DT_SCALE = 83,
    BACNET_DT_SETPOINT_REFERENCE = 84,
    BACNET_DT_SPECIAL_EVENT = 85,
    BACNET_DT_VALUE_SOURCE = 86,
    BACNET_DT_VT_SESSION = 87,

    /// Orvik::BACnet::DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded
    BACNET_DT_TREND_LOG_LAST_UPLOADED = 1000,
};

/// How a property holds its datatype (ap_app_property.structure uses the same numbers).
enum BACNET_DATATYPE_STRUCTURE : std::uint32_t
{
    BACNET_DTS_SINGLE_VALUE = 0,
    BACNET_DTS_ARRAY = 1,  ///< BACnetARRAY: elements read by index, index 0 is the element count
    BACNET_DTS_LIST = 2,   ///< BACnetLIST
};

/// Array index that selects the whole array (no index).
constexpr std::uint32_t BACNET_ARRAY_ALL = 0xFFFFFFFFu;
/// Largest object instance; as a device instance it means "no device".
constexpr std::uint32_t BACNET_MAX_INSTANCE = 0x3FFFFFu;

/// Datatype names and facts.
class BACnetDataTypeInfo
{
public:
    /// The standard's name of the datatype ("REAL", "BACnetDateTime", ...), or "" for a number
    /// that is not a BACnetDataType.
    static const char* name(std::uint32_t dataType);

    /// The datatype of a name as property-datatypes.csv writes it (REAL, OBJECT_IDENTIFIER, ANY,
    /// BACnetDateTime, ...). Optional and priority values give the datatype of what they carry, so
    /// they need the present-value datatype of the object (`carried`). False for an unknown name.
    static bool fromName(const std::string& name, BACnetDataType carried, BACnetDataType& dataType);

    /// True for 0..12 (the application-tagged datatypes).
    static bool isPrimitive(std::uint32_t dataType) { return dataType <= BACNET_DT_OBJECT_IDENTIFIER; }

    /// True for the datatypes a ValueContainer holds: primitives, ANY, 32..38 and the proprietary ones.
    static bool isHoldable(std::uint32_t dataType);

    /// The application tag of a primitive datatype; for any other datatype the tag given.
    static BACNET_APPLICATION_TAG applicationTag(std::uint32_t dataType, BACNET_APPLICATION_TAG otherwise);
};

}  // namespace Orvik::BACnet
