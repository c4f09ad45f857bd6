#include "ReadPropertyRequest.h"

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "RecordConversion.h"

#include <algorithm>

namespace Orvik::BACnet::Client::IP
{

namespace
{

/// Octets of one element in a ReadPropertyMultiple answer that the chunks are planned with: property
/// and index tags, the value's opening and closing tags, an object identifier.
const Poco::UInt32 ELEMENT_OCTETS = 16;
/// The rest of such an answer: header, object, list tags.
const Poco::UInt32 ANSWER_OVERHEAD = 16;

}  // namespace

ReadPropertyRequest::ReadPropertyRequest(const DataPropertyKey& key)
    : ConfirmedRequest(key.deviceInstance, Codec::ReadProperty::_SERVICE, Codec::Octets(), nullptr),
      _object(key.objectIdentifier),
      _property(RecordConversion::propertyOf(key.propertyRef))
{
    setServiceData(readPropertyOf(_property.arrayIndex));
    _array.setStructure(BACNET_DTS_ARRAY);
}

bool ReadPropertyRequest::fitTo(Poco::UInt32 maxApdu, bool deviceSegments)
{
    _maxApdu = maxApdu;
    return ConfirmedRequest::fitTo(maxApdu, deviceSegments);
}

ConfirmedRequest::Outcome ReadPropertyRequest::takeAck(const Codec::OctetView& serviceData)
{
    try
    {
        if (_step == ELEMENTS)
            return takeElements(serviceData);
        const Codec::ReadProperty::Ack ack = Codec::ReadProperty::decodeAck(serviceData);
        if (ack.error.hasError())
            return finish(_step == COUNT ? _refusal : ack.error);
        return takeValue(ack.value);
    }
    catch (const Codec::DecodeError& e)
    {
        return finish(_step == WHOLE ? malformed(e) : _refusal);
    }
}

ConfirmedRequest::Outcome ReadPropertyRequest::takeError(const DataError& error)
{
    switch (_step)
    {
        case WHOLE:
            if (!isSizeError(error) || !isWholeArray())
                return finish(error);
            _refusal = error;
            return askFor(COUNT);
        case ELEMENTS:
            if (isSizeError(error) && _chunk > 1)
            {
                _chunk /= 2;
                return askFor(ELEMENTS);
            }
            if (error.errorClass == ERROR_CLASS_REJECT)
                return askFor(ONE_ELEMENT);  // no ReadPropertyMultiple on this device
            return finish(error);
        case ONE_ELEMENT:
            return finish(error);
        default:
            return finish(_refusal);  // not an array after all
    }
}

bool ReadPropertyRequest::isWholeArray() const
{
    BACnetDataType dataType;
    BACNET_APPLICATION_TAG appTag;
    BACNET_DATATYPE_STRUCTURE structure;
    return !_property.hasArrayIndex() &&
           ValueContainer::getValueTypeAndStructure(_object.getObjectType(), _property.propertyId, dataType,
                                                    appTag, structure) &&
           structure == BACNET_DTS_ARRAY;
}

ConfirmedRequest::Outcome ReadPropertyRequest::takeValue(const ValueContainer& value)
{
    switch (_step)
    {
        case WHOLE:
            return finish(value);
        case COUNT:
            _count = value.getUInt();
            _chunk =
                std::max<Poco::UInt32>(1, (std::min(_maxApdu, 1476u) - ANSWER_OVERHEAD) / ELEMENT_OCTETS);
            return _count == 0 ? finish(_array) : askFor(ELEMENTS);
        default:
            for (const BACnetValue& element : value.getBACnetPrimitives())
                _array.append(element);
            ++_next;
            return _next > _count ? finish(_array) : askFor(ONE_ELEMENT);
    }
}

ConfirmedRequest::Outcome ReadPropertyRequest::takeElements(const Codec::OctetView& serviceData)
{
    for (const auto& object : Codec::ReadPropertyMultiple::decodeAck(serviceData))
    {
        for (const Codec::PropertyValue& result : object.results)
        {
            if (result.hasError())
                return finish(result.error);
            if (result.property.arrayIndex != _next)
                return finish(_refusal);  // not the elements asked for
            for (const BACnetValue& element : result.value.getBACnetPrimitives())
                _array.append(element);
            ++_next;
        }
    }
    return _next > _count ? finish(_array) : askFor(ELEMENTS);
}

ConfirmedRequest::Outcome ReadPropertyRequest::askFor(Step step)
{
    _step = step;
    if (step == COUNT)
    {
        setService(Codec::ReadProperty::_SERVICE);
        setServiceData(readPropertyOf(0));
        return SEND_NEXT_PART;
    }
    if (step == ONE_ELEMENT)
    {
        setService(Codec::ReadProperty::_SERVICE);
        setServiceData(readPropertyOf(_next));
        return SEND_NEXT_PART;
    }
    Codec::ReadPropertyMultiple::ObjectRequest request;
    request.objectIdentifier = _object;
    const Poco::UInt32 last = std::min(_count, _next + _chunk - 1);
    for (Poco::UInt32 index = _next; index <= last; ++index)
        request.properties.emplace_back(_property.propertyId, index);
    setService(Codec::ReadPropertyMultiple::_SERVICE);
    setServiceData(Codec::ReadPropertyMultiple::encodeRequest({request}));
    return SEND_NEXT_PART;
}

Codec::Octets ReadPropertyRequest::readPropertyOf(std::uint32_t arrayIndex) const
{
    Codec::ReadProperty::Request request;
    request.objectIdentifier = _object;
    request.property = Codec::PropertyReference(_property.propertyId, arrayIndex);
    return Codec::ReadProperty::encodeRequest(request);
}

}  // namespace Orvik::BACnet::Client::IP
