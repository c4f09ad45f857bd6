#include "Orvik_BACnetDevice/SimulatedFault.h"

namespace Orvik::BACnet::Device
{

bool SimulatedFault::matches(Service aService, const std::optional<DataType::ObjectIdentifier>& anObject,
                             const std::optional<BACNET_PROPERTY_ID>& aProperty) const
{
    if (count == 0 || (service != ANY_SERVICE && service != aService))
        return false;
    if (object && (!anObject || *object != *anObject))
        return false;
    return !property || (aProperty && *property == *aProperty);
}

bool SimulatedFault::strike()
{
    if (skip > 0)
    {
        --skip;
        return false;
    }
    if (count == 0)
        return false;
    --count;
    return true;
}

}  // namespace Orvik::BACnet::Device
