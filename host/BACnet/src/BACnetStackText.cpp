#include "Orvik_BACnet/BACnetStackText.h"

#include <string>

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet
{

const char* bactext_object_type_name(unsigned index)
{
    const char* name = ProtocolText::findObjectTypeName(index);
    return name != nullptr ? name : "";
}

const char* bactext_property_name(unsigned index)
{
    const char* name = ProtocolText::findPropertyName(index);
    return name != nullptr ? name : "";
}

bool bactext_property_index(const char* search_name, unsigned* found_index)
{
    std::uint32_t index = 0;
    if (search_name == nullptr || !ProtocolText::propertyIndex(search_name, index))
    {
        return false;
    }
    if (found_index != nullptr)
    {
        *found_index = index;
    }
    return true;
}

}  // namespace Orvik::BACnet
