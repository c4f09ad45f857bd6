#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetValue.h"
#include "Orvik_BACnet/Codec/OctetView.h"

namespace Orvik::BACnet::Codec
{

/// Appends tagged values to an octet buffer, in the shortest encoding the rules allow (Unsigned and
/// INTEGER in as few octets as hold the value, CharacterString as UTF-8).
///
/// Writing a value that has no encoding here (a constructed BACnetValue given as a primitive, an
/// ENUMERATED or Unsigned out of its field's range) throws Poco::InvalidArgumentException; the buffer
/// then holds what was written before.
class Encoder
{
public:
    Encoder() = default;

    const Octets& octets() const { return _octets; }
    /// Moves the buffer out; the encoder is empty afterwards.
    Octets take();

    /// One primitive, application-tagged.
    void writeApplicationValue(const BACnetValue& primitive);
    void writeApplicationUnsigned(std::uint64_t value);
    void writeApplicationEnumerated(std::uint32_t value);
    void writeApplicationObjectIdentifier(const DataType::ObjectIdentifier& value);

    /// One primitive with context tag `number`.
    void writeContextValue(std::uint8_t number, const BACnetValue& primitive);
    void writeUnsigned(std::uint8_t number, std::uint64_t value);
    void writeSigned(std::uint8_t number, std::int64_t value);
    void writeEnumerated(std::uint8_t number, std::uint32_t value);
    void writeBoolean(std::uint8_t number, bool value);
    void writeReal(std::uint8_t number, float value);
    void writeObjectIdentifier(std::uint8_t number, const DataType::ObjectIdentifier& value);
    void writeBitString(std::uint8_t number, const DataType::BitString& value);

    void writeOpening(std::uint8_t number);
    void writeClosing(std::uint8_t number);
    /// Octets as they are (an already encoded value).
    void writeRaw(OctetView octets);

private:
    /// Tag number (extended from 15 on; 255 is reserved and throws), class bit and length/value/type.
    void writeHeader(std::uint8_t number, std::uint8_t classAndLvt);
    void writeTag(std::uint8_t number, bool context, std::uint32_t length);
    void writePrimitive(std::uint8_t number, bool context, const BACnetValue& primitive);

    Octets _octets;
};

}  // namespace Orvik::BACnet::Codec
