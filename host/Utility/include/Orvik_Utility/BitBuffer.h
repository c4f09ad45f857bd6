#pragma once

#include "Orvik_Utility/OctetBuffer.h"

#include <string>

namespace Orvik::Utility
{

/// A sequence of bits of a given count, held in octets.
///
/// Bit i lives in octet i / 8 at value 1 << (i % 8), least significant bit first,
/// so bit i of the buffer is bit i of the little-endian number read from its
/// octets: `getOctets().getUInt32(0, true)` gives bits 0 to 31 as a number.
/// The octet storage is always a whole number of 32-bit words, at least one, and
/// every octet bit at or beyond the bit count is 0; so that read is valid for any
/// bit count, and equal bit sequences have equal octets.
///
/// Access beyond the bit count throws Poco::RangeException.
class BitBuffer
{
public:
    explicit BitBuffer(std::size_t bitCount = 0);

    std::size_t getBitCount() const { return _bitCount; }
    /// Bits added are 0; bits cut off are cleared.
    void setBitCount(std::size_t bitCount);

    bool getBit(std::size_t index) const;
    void setBit(std::size_t index, bool value);

    const OctetBuffer& getOctets() const { return _octets; }

    /// One '0' or '1' per bit, bit 0 first ("" for no bits).
    std::string toString() const;
    /// Reads what toString() writes; the bit count becomes the text's length.
    /// False, and the buffer unchanged, for any other character.
    bool fromString(const std::string& text);

    bool operator==(const BitBuffer& other) const
    {
        return _bitCount == other._bitCount && _octets == other._octets;
    }
    bool operator!=(const BitBuffer& other) const { return !(*this == other); }

private:
    static std::size_t storageOctets(std::size_t bitCount);
    void checkIndex(std::size_t index) const;

    std::size_t _bitCount = 0;
    OctetBuffer _octets;
};

}  // namespace Orvik::Utility
