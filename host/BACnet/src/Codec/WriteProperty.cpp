#include "Orvik_BACnet/Codec/WriteProperty.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/ValueCodec.h"
#include "ServiceFields.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _VALUE = 3;
constexpr std::uint8_t _PRIORITY = 4;
constexpr std::uint8_t _LOWEST_PRIORITY = 16;

}  // namespace

Octets WriteProperty::encodeRequest(const Request& request)
{
    if (request.priority > _LOWEST_PRIORITY)
    {
        throw Poco::InvalidArgumentException("WriteProperty priority above 16",
                                             std::to_string(request.priority));
    }
    if (request.value.isNull())
    {
        throw Poco::InvalidArgumentException("WriteProperty without value");
    }
    Encoder out;
    ServiceFields::writeObjectProperty(out, request.objectIdentifier, request.property);
    ValueCodec::encodeField(out, _VALUE, request.objectIdentifier.getObjectType(), request.property,
                            request.value);
    if (request.priority != 0)
    {
        out.writeUnsigned(_PRIORITY, request.priority);
    }
    return out.take();
}

WriteProperty::Request WriteProperty::decodeRequest(OctetView serviceData)
{
    Decoder in(serviceData);
    Request request;
    ServiceFields::readObjectProperty(in, request.objectIdentifier, request.property);
    Decoder value = in.readEnclosed(_VALUE);
    request.value = ValueCodec::decode(value, request.objectIdentifier.getObjectType(),
                                       request.property.propertyId, request.property.arrayIndex);
    if (in.isContext(_PRIORITY))
    {
        const std::uint64_t priority = in.readUnsigned(_PRIORITY);
        if (priority == 0 || priority > _LOWEST_PRIORITY)
        {
            throw DecodeError("WriteProperty priority out of range", std::to_string(priority),
                              ERROR_CODE_PARAMETER_OUT_OF_RANGE);
        }
        request.priority = static_cast<std::uint8_t>(priority);
    }
    in.expectEnd();
    return request;
}

}  // namespace Orvik::BACnet::Codec
