#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"

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

constexpr std::uint8_t _OBJECT = 0;
constexpr std::uint8_t _PROPERTIES = 1;
constexpr std::uint8_t _RESULT_PROPERTY = 2;  // and 3, its array index
constexpr std::uint8_t _RESULT_VALUE = 4;
constexpr std::uint8_t _RESULT_ERROR = 5;

PropertyValue readResult(Decoder& in, std::uint32_t objectType)
{
    PropertyValue result;
    result.property = ServiceFields::readProperty(in, _RESULT_PROPERTY);
    if (in.isOpening(_RESULT_VALUE))
    {
        ValueCodec::decodeField(in, _RESULT_VALUE, objectType, result.property, result.value, result.error);
        return result;
    }
    Decoder error = in.readEnclosed(_RESULT_ERROR);
    try
    {
        result.error = ServiceError::read(error);
        error.expectEnd();
    }
    catch (const DecodeError&)
    {
        result.error = ServiceError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_DATA_ENCODING);
    }
    return result;
}

}  // namespace

Octets ReadPropertyMultiple::encodeRequest(const std::vector<ObjectRequest>& request)
{
    if (request.empty())
    {
        throw Poco::InvalidArgumentException("ReadPropertyMultiple without objects");
    }
    Encoder out;
    for (const ObjectRequest& object : request)
    {
        if (object.properties.empty())
        {
            throw Poco::InvalidArgumentException("ReadPropertyMultiple object without properties",
                                                 object.objectIdentifier.toString());
        }
        out.writeObjectIdentifier(_OBJECT, object.objectIdentifier);
        out.writeOpening(_PROPERTIES);
        for (const PropertyReference& property : object.properties)
        {
            ServiceFields::writeProperty(out, 0, property);
        }
        out.writeClosing(_PROPERTIES);
    }
    return out.take();
}

std::vector<ReadPropertyMultiple::ObjectRequest> ReadPropertyMultiple::decodeRequest(OctetView serviceData)
{
    Decoder in(serviceData);
    std::vector<ObjectRequest> request;
    do
    {
        ObjectRequest object;
        object.objectIdentifier = in.readObjectIdentifier(_OBJECT);
        Decoder properties = in.readEnclosed(_PROPERTIES);
        do
        {
            object.properties.push_back(ServiceFields::readProperty(properties, 0));
        } while (!properties.atEnd());
        request.push_back(std::move(object));
    } while (!in.atEnd());
    return request;
}

Octets ReadPropertyMultiple::encodeAck(const std::vector<ObjectResult>& ack)
{
    Encoder out;
    for (const ObjectResult& object : ack)
    {
        out.writeObjectIdentifier(_OBJECT, object.objectIdentifier);
        out.writeOpening(_PROPERTIES);
        for (const PropertyValue& result : object.results)
        {
            ServiceFields::writeProperty(out, _RESULT_PROPERTY, result.property);
            if (result.hasError())
            {
                out.writeOpening(_RESULT_ERROR);
                out.writeApplicationEnumerated(result.error.errorClass);
                out.writeApplicationEnumerated(result.error.errorCode);
                out.writeClosing(_RESULT_ERROR);
            }
            else
            {
                ValueCodec::encodeField(out, _RESULT_VALUE, object.objectIdentifier.getObjectType(),
                                        result.property, result.value);
            }
        }
        out.writeClosing(_PROPERTIES);
    }
    return out.take();
}

std::vector<ReadPropertyMultiple::ObjectResult> ReadPropertyMultiple::decodeAck(OctetView serviceData)
{
    Decoder in(serviceData);
    std::vector<ObjectResult> ack;
    while (!in.atEnd())
    {
        ObjectResult object;
        object.objectIdentifier = in.readObjectIdentifier(_OBJECT);
        if (in.isOpening(_PROPERTIES))
        {
            Decoder results = in.readEnclosed(_PROPERTIES);
            while (!results.atEnd())
            {
                object.results.push_back(readResult(results, object.objectIdentifier.getObjectType()));
            }
        }
        ack.push_back(std::move(object));
    }
    return ack;
}

}  // namespace Orvik::BACnet::Codec
