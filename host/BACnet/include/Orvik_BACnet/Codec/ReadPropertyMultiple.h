#pragma once

#include <vector>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyValue.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Codec
{

/// ReadPropertyMultiple (confirmed service 14): request and ACK service data.
class ReadPropertyMultiple
{
public:
    static constexpr std::uint8_t _SERVICE = SERVICE_CONFIRMED_READ_PROPERTY_MULTIPLE;

    /// One object and the properties to read of it (the client's NotificationRequestRPM::Parameter).
    /// PROP_ALL, PROP_REQUIRED and PROP_OPTIONAL are sent as they are; the device answers with one
    /// result per property it has.
    struct ObjectRequest
    {
        DataType::ObjectIdentifier objectIdentifier;
        std::vector<PropertyReference> properties;
    };

    /// The results of one object, in the order of the ACK (the client's DataResponseRPM).
    struct ObjectResult
    {
        DataType::ObjectIdentifier objectIdentifier;
        std::vector<PropertyValue> results;
    };

    /// Throws Poco::InvalidArgumentException for an empty request or an object without properties.
    static Octets encodeRequest(const std::vector<ObjectRequest>& request);
    static std::vector<ObjectRequest> decodeRequest(OctetView serviceData);
    static Octets encodeAck(const std::vector<ObjectResult>& ack);
    /// Each property carries its value or its error: the device's property-access-error, or the
    /// reason its value could not be read (PropertyValue). Throws DecodeError when the ACK itself is
    /// malformed.
    static std::vector<ObjectResult> decodeAck(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
