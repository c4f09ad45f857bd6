#include "OctetCursor.h"

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

void OctetCursor::need(std::size_t count) const
{
    if (count > _octets.size - _pos)
    {
        throw DecodeError(std::string(_what) + " cut short", ERROR_CODE_HEADER_ENCODING_ERROR);
    }
}

std::uint8_t OctetCursor::byte()
{
    need(1);
    return _octets.data[_pos++];
}

std::uint16_t OctetCursor::uint16()
{
    need(2);
    const std::uint16_t value =
        static_cast<std::uint16_t>((_octets.data[_pos] << 8) | _octets.data[_pos + 1]);
    _pos += 2;
    return value;
}

OctetView OctetCursor::take(std::size_t count)
{
    need(count);
    const OctetView view(_octets.data + _pos, count);
    _pos += count;
    return view;
}

}  // namespace Orvik::BACnet::Codec
