#pragma once

#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Client::IP
{

/// A ReadProperty, with a way around devices whose answer would not fit: an array (by the property
/// datatype table) read whole (an object list longer than one unsegmented answer of a field controller) that
/// the device refuses for its size (isSizeError) is read again by its element count (array index 0) and then
/// its elements, many to a ReadPropertyMultiple, and put together into the one array the app asked for. A
/// chunk that is still too large is halved; a device without ReadPropertyMultiple is asked element by
/// element. Anything that goes wrong on the way ends the request with the device's first refusal; an
/// element's own error ends it with that error.
class ReadPropertyRequest : public ConfirmedRequest
{
public:
    explicit ReadPropertyRequest(const DataPropertyKey& key);

    bool expectsComplexAck() const override { return true; }
    bool fitTo(Poco::UInt32 maxApdu, bool deviceSegments) override;
    Outcome takeAck(const Codec::OctetView& serviceData) override;
    Outcome takeError(const DataError& error) override;

private:
    enum Step
    {
        WHOLE,
        COUNT,
        ELEMENTS,
        ONE_ELEMENT,
    };

    /// The whole of a property that the datatype table knows as an array.
    bool isWholeArray() const;
    Outcome takeValue(const ValueContainer& value);
    Outcome takeElements(const Codec::OctetView& serviceData);
    Outcome askFor(Step step);
    Codec::Octets readPropertyOf(std::uint32_t arrayIndex) const;

    const DataType::ObjectIdentifier _object;
    const Codec::PropertyReference _property;
    Step _step = WHOLE;
    DataError _refusal;
    Poco::UInt32 _maxApdu = 1476;
    /// The element count, the next element to ask for, and how many to ask for at once.
    Poco::UInt32 _count = 0;
    Poco::UInt32 _next = 1;
    Poco::UInt32 _chunk = 1;
    ValueContainer _array;
};

}  // namespace Orvik::BACnet::Client::IP
