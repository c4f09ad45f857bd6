#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::Codec
{

/// WriteProperty (confirmed service 15): request service data (the answer is a Simple-ACK).
class WriteProperty
{
public:
    static constexpr std::uint8_t _SERVICE = SERVICE_CONFIRMED_WRITE_PROPERTY;

    /// `priority` 1 (highest) to 16, 0 for none. A NULL element as value relinquishes the priority's
    /// slot of a commandable property.
    struct Request
    {
        DataType::ObjectIdentifier objectIdentifier;
        PropertyReference property;
        ValueContainer value;
        std::uint8_t priority = 0;
    };

    /// Throws Poco::InvalidArgumentException for a priority above 16, no value at all (an empty
    /// container; a NULL element is a value), or a value without encoding (ValueCodec::encode).
    static Octets encodeRequest(const Request& request);
    /// Throws DecodeError for a malformed request or a value that cannot be read.
    static Request decodeRequest(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
