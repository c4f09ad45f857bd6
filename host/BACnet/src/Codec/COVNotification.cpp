#include "Orvik_BACnet/Codec/COVNotification.h"

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

constexpr std::uint8_t _SUBSCRIBER = 0;
constexpr std::uint8_t _DEVICE = 1;
constexpr std::uint8_t _OBJECT = 2;
constexpr std::uint8_t _TIME_REMAINING = 3;
constexpr std::uint8_t _VALUES = 4;
constexpr std::uint8_t _VALUE_PROPERTY = 0;  // and 1, its array index
constexpr std::uint8_t _VALUE = 2;
constexpr std::uint8_t _VALUE_PRIORITY = 3;
constexpr std::uint8_t _LOWEST_PRIORITY = 16;

}  // namespace

Octets COVNotification::encode() const
{
    Encoder out;
    out.writeUnsigned(_SUBSCRIBER, subscriberProcessIdentifier);
    out.writeObjectIdentifier(_DEVICE, initiatingDeviceIdentifier);
    out.writeObjectIdentifier(_OBJECT, monitoredObjectIdentifier);
    out.writeUnsigned(_TIME_REMAINING, timeRemaining);
    out.writeOpening(_VALUES);
    for (const PropertyValue& value : values)
    {
        if (value.hasError() || value.priority > _LOWEST_PRIORITY)
        {
            throw Poco::InvalidArgumentException("COV value with an error or a priority above 16");
        }
        ServiceFields::writeProperty(out, _VALUE_PROPERTY, value.property);
        ValueCodec::encodeField(out, _VALUE, monitoredObjectIdentifier.getObjectType(), value.property,
                                value.value);
        if (value.priority != 0)
        {
            out.writeUnsigned(_VALUE_PRIORITY, value.priority);
        }
    }
    out.writeClosing(_VALUES);
    return out.take();
}

COVNotification COVNotification::decode(OctetView serviceData)
{
    Decoder in(serviceData);
    COVNotification notification;
    notification.subscriberProcessIdentifier = in.readUnsigned32(_SUBSCRIBER);
    notification.initiatingDeviceIdentifier = in.readObjectIdentifier(_DEVICE);
    notification.monitoredObjectIdentifier = in.readObjectIdentifier(_OBJECT);
    notification.timeRemaining = in.readUnsigned32(_TIME_REMAINING);
    Decoder values = in.readEnclosed(_VALUES);
    in.expectEnd();
    const std::uint32_t objectType = notification.monitoredObjectIdentifier.getObjectType();
    while (!values.atEnd())
    {
        PropertyValue value;
        value.property = ServiceFields::readProperty(values, _VALUE_PROPERTY);
        ValueCodec::decodeField(values, _VALUE, objectType, value.property, value.value, value.error);
        if (values.isContext(_VALUE_PRIORITY))
        {
            const std::uint64_t priority = values.readUnsigned(_VALUE_PRIORITY);
            if (priority == 0 || priority > _LOWEST_PRIORITY)
            {
                throw DecodeError("COV value priority out of range", std::to_string(priority),
                                  ERROR_CODE_INVALID_DATA_ENCODING);
            }
            value.priority = static_cast<std::uint8_t>(priority);
        }
        notification.values.push_back(std::move(value));
    }
    return notification;
}

}  // namespace Orvik::BACnet::Codec
