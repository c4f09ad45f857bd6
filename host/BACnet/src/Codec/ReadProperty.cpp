#include "Orvik_BACnet/Codec/ReadProperty.h"

#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/ValueCodec.h"
#include "ServiceFields.h"

namespace Orvik::BACnet::Codec
{

Octets ReadProperty::encodeRequest(const Request& request)
{
    Encoder out;
    ServiceFields::writeObjectProperty(out, request.objectIdentifier, request.property);
    return out.take();
}

ReadProperty::Request ReadProperty::decodeRequest(OctetView serviceData)
{
    Decoder in(serviceData);
    Request request;
    ServiceFields::readObjectProperty(in, request.objectIdentifier, request.property);
    in.expectEnd();
    return request;
}

Octets ReadProperty::encodeAck(const Ack& ack)
{
    Encoder out;
    ServiceFields::writeObjectProperty(out, ack.objectIdentifier, ack.property);
    ValueCodec::encodeField(out, 3, ack.objectIdentifier.getObjectType(), ack.property, ack.value);
    return out.take();
}

ReadProperty::Ack ReadProperty::decodeAck(OctetView serviceData)
{
    Decoder in(serviceData);
    Ack ack;
    ServiceFields::readObjectProperty(in, ack.objectIdentifier, ack.property);
    ValueCodec::decodeField(in, 3, ack.objectIdentifier.getObjectType(), ack.property, ack.value, ack.error);
    in.expectEnd();
    return ack;
}

}  // namespace Orvik::BACnet::Codec
