#include "Orvik_BACnetClient/DataResponseCOV.h"

namespace Orvik::BACnet::Client
{

DataResponseCOV::Value::Value(const DataPropertyRef& aPropertyRef, const ValueContainer& aValue)
    : propertyRef(aPropertyRef), value(aValue)
{
}

}  // namespace Orvik::BACnet::Client
