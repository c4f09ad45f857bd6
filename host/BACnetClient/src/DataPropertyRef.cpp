#include "Orvik_BACnetClient/DataPropertyRef.h"

namespace Orvik::BACnet::Client
{

DataPropertyRef::DataPropertyRef() : propertyIdentifier(PROP_ALL), arrayIndex(_ARRAY_INDEX_NONE) {}

DataPropertyRef::DataPropertyRef(BACNET_PROPERTY_ID aPropertyIdentifier, Poco::UInt32 anArrayIndex)
    : propertyIdentifier(aPropertyIdentifier), arrayIndex(anArrayIndex)
{
}

}  // namespace Orvik::BACnet::Client
