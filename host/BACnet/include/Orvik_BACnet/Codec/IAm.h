#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Codec
{

/// I-Am (unconfirmed service 0): a device's identifier and its limits (the client's
/// DataResponseWhoIs without the address, which the transport knows).
struct IAm
{
    static constexpr std::uint8_t _SERVICE = SERVICE_UNCONFIRMED_I_AM;

    DataType::ObjectIdentifier deviceIdentifier;
    std::uint32_t maxApduLengthAccepted = 1476;
    BACNET_SEGMENTATION segmentation = SEGMENTATION_NO_SEGMENTATION;
    std::uint16_t vendorId = 0;

    Octets encode() const;
    /// Throws DecodeError when a field is missing or of another datatype, the identifier is not a
    /// device's, the segmentation is not one of the four values, the vendor id exceeds 16 bits, or
    /// octets follow.
    static IAm decode(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
