#include "Orvik_BACnet/Codec/Tag.h"

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet::Codec
{

std::uint32_t Tag::contentLength() const
{
    if (kind == OPENING || kind == CLOSING || isApplication(BACNET_APPLICATION_TAG_BOOLEAN))
    {
        return 0;
    }
    return length;
}

}  // namespace Orvik::BACnet::Codec
