#include "Orvik_BACnet/Codec/SubscribeCOV.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "ServiceFields.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _SUBSCRIBER = 0;
constexpr std::uint8_t _OBJECT = 1;
constexpr std::uint8_t _CONFIRMED = 2;
constexpr std::uint8_t _LIFETIME = 3;
constexpr std::uint8_t _PROPERTY = 4;
constexpr std::uint8_t _COV_INCREMENT = 5;

}  // namespace

std::uint8_t SubscribeCOV::Request::service() const
{
    return hasProperty ? SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY : SERVICE_CONFIRMED_SUBSCRIBE_COV;
}

Octets SubscribeCOV::encodeRequest(const Request& request)
{
    if (request.hasCovIncrement && !request.hasProperty)
    {
        throw Poco::InvalidArgumentException("COV increment without property");
    }
    Encoder out;
    out.writeUnsigned(_SUBSCRIBER, request.subscriberProcessIdentifier);
    out.writeObjectIdentifier(_OBJECT, request.monitoredObjectIdentifier);
    if (!request.cancellation)
    {
        out.writeBoolean(_CONFIRMED, request.issueConfirmedNotifications);
        out.writeUnsigned(_LIFETIME, request.lifetime);
    }
    if (request.hasProperty)
    {
        out.writeOpening(_PROPERTY);
        ServiceFields::writeProperty(out, 0, request.property);
        out.writeClosing(_PROPERTY);
        if (request.hasCovIncrement)
        {
            out.writeReal(_COV_INCREMENT, request.covIncrement);
        }
    }
    return out.take();
}

SubscribeCOV::Request SubscribeCOV::decodeRequest(OctetView serviceData, std::uint8_t service)
{
    if (service != SERVICE_CONFIRMED_SUBSCRIBE_COV && service != SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY)
    {
        throw DecodeError("Not a COV subscription service", std::to_string(service), ERROR_CODE_INVALID_TAG);
    }
    Decoder in(serviceData);
    Request request;
    request.subscriberProcessIdentifier = in.readUnsigned32(_SUBSCRIBER);
    request.monitoredObjectIdentifier = in.readObjectIdentifier(_OBJECT);
    const bool hasConfirmed = in.isContext(_CONFIRMED);
    if (hasConfirmed)
    {
        request.issueConfirmedNotifications = in.readBoolean(_CONFIRMED);
    }
    const bool hasLifetime = in.isContext(_LIFETIME);
    if (hasLifetime)
    {
        request.lifetime = in.readUnsigned32(_LIFETIME);
    }
    request.cancellation = !hasConfirmed && !hasLifetime;
    if (service == SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY)
    {
        Decoder property = in.readEnclosed(_PROPERTY);
        request.hasProperty = true;
        request.property = ServiceFields::readProperty(property, 0);
        property.expectEnd();
        if (in.isContext(_COV_INCREMENT))
        {
            request.hasCovIncrement = true;
            request.covIncrement = in.readReal(_COV_INCREMENT);
        }
    }
    in.expectEnd();
    return request;
}

}  // namespace Orvik::BACnet::Codec
