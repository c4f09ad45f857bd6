#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet::Codec
{

/// A property of an object, optionally one element of it (the client's DataPropertyRef).
/// arrayIndex BACNET_ARRAY_ALL: the whole property (no index on the wire).
struct PropertyReference
{
    BACNET_PROPERTY_ID propertyId = PROP_PRESENT_VALUE;
    std::uint32_t arrayIndex = BACNET_ARRAY_ALL;

    PropertyReference() = default;
    PropertyReference(BACNET_PROPERTY_ID aPropertyId, std::uint32_t anArrayIndex = BACNET_ARRAY_ALL)
        : propertyId(aPropertyId), arrayIndex(anArrayIndex)
    {
    }

    bool hasArrayIndex() const { return arrayIndex != BACNET_ARRAY_ALL; }
    bool operator==(const PropertyReference& other) const
    {
        return propertyId == other.propertyId && arrayIndex == other.arrayIndex;
    }
    bool operator!=(const PropertyReference& other) const { return !(*this == other); }
};

}  // namespace Orvik::BACnet::Codec
