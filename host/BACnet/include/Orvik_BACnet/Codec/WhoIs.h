#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/Codec/OctetView.h"

namespace Orvik::BACnet::Codec
{

/// Who-Is (unconfirmed service 8): the device instances lowLimit to highLimit, or every device.
struct WhoIs
{
    static constexpr std::uint8_t _SERVICE = SERVICE_UNCONFIRMED_WHO_IS;

    /// False: no limits on the wire, every device answers.
    bool hasLimits = false;
    std::uint32_t lowLimit = 0;
    std::uint32_t highLimit = BACNET_MAX_INSTANCE;

    /// A Who-Is for lowLimit..highLimit; the full range 0..4194303 is sent without limits.
    static WhoIs range(std::uint32_t lowLimit, std::uint32_t highLimit);
    /// True when `deviceInstance` lies in the range (always without limits).
    bool covers(std::uint32_t deviceInstance) const;

    /// Throws Poco::InvalidArgumentException for a limit above 4194303.
    Octets encode() const;
    /// Throws DecodeError for one limit without the other, a limit above 4194303, or trailing octets.
    static WhoIs decode(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
