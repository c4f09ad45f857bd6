#pragma once

#include "Orvik_Utility/BitBuffer.h"

namespace Orvik::BACnet::DataType
{

/// A BACnet BIT STRING: the host's bit buffer (bit i is bit i of the little-endian number read from
/// the octets, so getOctets().getUInt32(0, true) gives bits 0 to 31). Bit 0 is the first bit of the
/// BIT STRING on the wire (StatusFlags: bit 0 in-alarm).
class BitString : public Orvik::Utility::BitBuffer
{
public:
    using Orvik::Utility::BitBuffer::BitBuffer;
    BitString() = default;
    BitString(const Orvik::Utility::BitBuffer& bits) : Orvik::Utility::BitBuffer(bits) {}
};

}  // namespace Orvik::BACnet::DataType
