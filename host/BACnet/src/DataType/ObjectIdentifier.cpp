#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::DataType
{

ObjectIdentifier::ObjectIdentifier(std::uint32_t objectType, std::uint32_t instance)
{
    if (objectType > _MAX_TYPE || instance > _MAX_INSTANCE)
    {
        throw Poco::RangeException("Object identifier out of range",
                                   std::to_string(objectType) + ":" + std::to_string(instance));
    }
    _encoded = (objectType << 22) | instance;
}

ObjectIdentifier ObjectIdentifier::fromEncoded(std::uint32_t encoded)
{
    ObjectIdentifier identifier;
    identifier._encoded = encoded;
    return identifier;
}

std::string ObjectIdentifier::toString() const
{
    return ProtocolText::objectTypeName(getObjectType()) + ":" + std::to_string(getInstance());
}

}  // namespace Orvik::BACnet::DataType
