#include "ServiceFields.h"

#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

void ServiceFields::writeProperty(Encoder& out, std::uint8_t number, const PropertyReference& property)
{
    out.writeEnumerated(number, property.propertyId);
    if (property.hasArrayIndex())
    {
        out.writeUnsigned(static_cast<std::uint8_t>(number + 1), property.arrayIndex);
    }
}

PropertyReference ServiceFields::readProperty(Decoder& in, std::uint8_t number)
{
    PropertyReference property(static_cast<BACNET_PROPERTY_ID>(in.readEnumerated(number)));
    const std::uint8_t indexNumber = static_cast<std::uint8_t>(number + 1);
    if (in.isContext(indexNumber))
    {
        property.arrayIndex = in.readUnsigned32(indexNumber);
        if (!property.hasArrayIndex())
        {
            throw DecodeError("Array index 4294967295", ERROR_CODE_INVALID_DATA_ENCODING);
        }
    }
    return property;
}

void ServiceFields::writeObjectProperty(Encoder& out, const DataType::ObjectIdentifier& object,
                                        const PropertyReference& property)
{
    out.writeObjectIdentifier(0, object);
    writeProperty(out, 1, property);
}

void ServiceFields::readObjectProperty(Decoder& in, DataType::ObjectIdentifier& object,
                                       PropertyReference& property)
{
    object = in.readObjectIdentifier(0);
    property = readProperty(in, 1);
}

}  // namespace Orvik::BACnet::Codec
