#pragma once

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::Codec
{

/// ReadProperty (confirmed service 12): request and ACK service data.
class ReadProperty
{
public:
    static constexpr std::uint8_t _SERVICE = SERVICE_CONFIRMED_READ_PROPERTY;

    struct Request
    {
        DataType::ObjectIdentifier objectIdentifier;
        PropertyReference property;
    };

    /// The ACK. `error` is set, and `value` empty, when the device sent a value that cannot be read
    /// (ValueCodec).
    struct Ack
    {
        DataType::ObjectIdentifier objectIdentifier;
        PropertyReference property;
        ValueContainer value;
        ServiceError error;
    };

    static Octets encodeRequest(const Request& request);
    static Request decodeRequest(OctetView serviceData);
    static Octets encodeAck(const Ack& ack);
    /// Throws DecodeError when the ACK itself is malformed (a field missing, tags that do not close,
    /// trailing octets).
    static Ack decodeAck(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
