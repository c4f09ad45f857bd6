#pragma once

#include <cstdint>
#include <string>

#include "Orvik_BACnet/BACnetDataType.h"

namespace Orvik::BACnet
{

/// One row of the standard's property datatype table (data/bacnet/property-datatypes.csv).
struct PropertyDatatype
{
    BACnetDataType dataType = BACNET_DT_NULL;
    /// The primitive's application tag; for ANY and constructed datatypes MAX_BACNET_APPLICATION_TAG.
    BACNET_APPLICATION_TAG appTag = MAX_BACNET_APPLICATION_TAG;
    BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
    /// For ENUMERATED and BIT_STRING the enumeration ("BACnetEngineeringUnits", "BACnetStatusFlags"),
    /// else "". Names as ProtocolText::enumerationName takes them.
    std::string enumeration;
    /// Fixed size of an array ("size N"), 0 when not fixed.
    std::uint32_t arraySize = 0;
    /// Required (R) in the object type's table, else optional (O).
    bool required = false;
    /// True when the datatype is that of an optional or priority value: elements may be NULL.
    bool nullable = false;
};

/// Lookup of the property datatype table, compiled in and built on first use (thread-safe).
class PropertyDatatypeTable
{
public:
    /// The row of a property in an object type. For an object type the table does not cover
    /// (proprietary or newer types) the property's row is used when every covered type that has the
    /// property agrees on datatype and structure. Null when unknown.
    static const PropertyDatatype* find(std::uint32_t objectType, std::uint32_t propertyId);

    /// True when the table holds rows of this object type.
    static bool coversObjectType(std::uint32_t objectType);
};

}  // namespace Orvik::BACnet
