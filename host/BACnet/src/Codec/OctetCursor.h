#pragma once

#include <cstddef>
#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"

namespace Orvik::BACnet::Codec
{

/// Reads the fixed-layout headers (virtual link, network, application): every read checks the octets
/// left and throws DecodeError naming `_what` when they run out.
class OctetCursor
{
public:
    OctetCursor(OctetView octets, const char* what) : _octets(octets), _what(what) {}

    std::uint8_t byte();
    std::uint16_t uint16();
    /// `count` octets, returned as a view into the input.
    OctetView take(std::size_t count);
    OctetView rest() const { return OctetView(_octets.data + _pos, _octets.size - _pos); }
    bool atEnd() const { return _pos >= _octets.size; }

private:
    void need(std::size_t count) const;

    OctetView _octets;
    const char* _what;
    std::size_t _pos = 0;
};

}  // namespace Orvik::BACnet::Codec
