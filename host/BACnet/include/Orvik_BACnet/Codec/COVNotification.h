#pragma once

#include <cstdint>
#include <vector>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyValue.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Codec
{

/// ConfirmedCOVNotification (confirmed service 1) and UnconfirmedCOVNotification (unconfirmed service
/// 2): the same service data (the client's DataResponseCOV; the confirmed one is answered with a
/// Simple-ACK).
struct COVNotification
{
    static constexpr std::uint8_t _CONFIRMED_SERVICE = SERVICE_CONFIRMED_CONFIRMED_COV_NOTIFICATION;
    static constexpr std::uint8_t _UNCONFIRMED_SERVICE = SERVICE_UNCONFIRMED_UNCONFIRMED_COV_NOTIFICATION;

    std::uint32_t subscriberProcessIdentifier = 0;
    DataType::ObjectIdentifier initiatingDeviceIdentifier;
    DataType::ObjectIdentifier monitoredObjectIdentifier;
    /// Seconds; 0 for a subscription without lifetime.
    std::uint32_t timeRemaining = 0;
    /// A value that cannot be read carries its error instead (PropertyValue).
    std::vector<PropertyValue> values;

    /// Throws Poco::InvalidArgumentException for a value with an error (it has no encoding) or a
    /// priority above 16.
    Octets encode() const;
    /// Throws DecodeError for a malformed notification.
    static COVNotification decode(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
