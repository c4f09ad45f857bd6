#pragma once

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

#include <cstdint>
#include <string>

namespace Orvik::BACnet::Codec
{

/// Who-Has (unconfirmed service 7) and its answer I-Have (unconfirmed service 1): which device holds an
/// object of this identifier or name, among the device instances lowLimit to highLimit (or all).
struct WhoHas
{
    static constexpr std::uint8_t _SERVICE = SERVICE_UNCONFIRMED_WHO_HAS;
    static constexpr std::uint8_t _I_HAVE_SERVICE = SERVICE_UNCONFIRMED_I_HAVE;

    bool hasLimits = false;
    std::uint32_t lowLimit = 0;
    std::uint32_t highLimit = BACNET_MAX_INSTANCE;
    /// True: the object is named by `objectName`; false: by `objectIdentifier`.
    bool byName = false;
    DataType::ObjectIdentifier objectIdentifier;
    std::string objectName;

    /// True when `deviceInstance` lies in the range (always without limits).
    bool covers(std::uint32_t deviceInstance) const;

    /// Throws Poco::InvalidArgumentException for a limit above 4194303.
    Octets encode() const;
    /// Throws DecodeError for one limit without the other, a limit above 4194303, neither or a
    /// malformed object, or trailing octets.
    static WhoHas decode(OctetView serviceData);

    /// I-Have: the device, the object and its name.
    struct IHave
    {
        DataType::ObjectIdentifier deviceIdentifier;
        DataType::ObjectIdentifier objectIdentifier;
        std::string objectName;

        Octets encode() const;
        /// Throws DecodeError when a field is missing or of another datatype, or octets follow.
        static IHave decode(OctetView serviceData);
    };
};

}  // namespace Orvik::BACnet::Codec
