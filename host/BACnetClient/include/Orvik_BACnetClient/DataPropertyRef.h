#pragma once

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/BACnetEnums.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// One property of an object, optionally one element of it.
///
/// Array index: _ARRAY_INDEX_NONE (0xFFFFFFFF, also written -1) means the whole property; 0 asks an
/// array for its element count; 1 and up name one element.
class DataPropertyRef
{
public:
    static constexpr Poco::UInt32 _ARRAY_INDEX_NONE = BACNET_ARRAY_ALL;

    /// PROP_ALL, whole property.
    DataPropertyRef();
    DataPropertyRef(BACNET_PROPERTY_ID aPropertyIdentifier, Poco::UInt32 anArrayIndex = _ARRAY_INDEX_NONE);

    bool hasArrayIndex() const { return arrayIndex != _ARRAY_INDEX_NONE; }

    bool operator==(const DataPropertyRef& other) const
    {
        return propertyIdentifier == other.propertyIdentifier && arrayIndex == other.arrayIndex;
    }
    bool operator!=(const DataPropertyRef& other) const { return !(*this == other); }

    BACNET_PROPERTY_ID propertyIdentifier;
    Poco::UInt32 arrayIndex;
};

}  // namespace Orvik::BACnet::Client
