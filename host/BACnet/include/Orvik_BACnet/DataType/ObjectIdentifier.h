#pragma once

#include <cstdint>
#include <string>

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet::DataType
{

/// A BACnet object identifier: object type (10 bits) and instance (22 bits), encoded as
/// type * 2^22 + instance (ASHRAE 135). The default identifier names no object: type 1023 and
/// instance 4194303, encoded 0xFFFFFFFF.
class ObjectIdentifier
{
public:
    static constexpr std::uint32_t _MAX_TYPE = 1023;
    static constexpr std::uint32_t _MAX_INSTANCE = 4194303;

    ObjectIdentifier() = default;

    /// Throws Poco::RangeException when the type is above 1023 or the instance above 4194303.
    ObjectIdentifier(std::uint32_t objectType, std::uint32_t instance);

    /// The identifier of an encoded 32-bit value (every value is a valid encoding).
    static ObjectIdentifier fromEncoded(std::uint32_t encoded);

    BACNET_OBJECT_TYPE getObjectType() const { return static_cast<BACNET_OBJECT_TYPE>(_encoded >> 22); }
    std::uint32_t getInstance() const { return _encoded & _MAX_INSTANCE; }
    std::uint32_t getEncoded() const { return _encoded; }

    /// "analog-input:5"; a type without a standard name is written as its number ("200:5").
    std::string toString() const;

    bool operator==(const ObjectIdentifier& other) const { return _encoded == other._encoded; }
    bool operator!=(const ObjectIdentifier& other) const { return _encoded != other._encoded; }
    bool operator<(const ObjectIdentifier& other) const { return _encoded < other._encoded; }

private:
    std::uint32_t _encoded = 0xFFFFFFFFu;
};

}  // namespace Orvik::BACnet::DataType
