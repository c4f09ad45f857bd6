#pragma once

#include <cstdint>

namespace Orvik::BACnet::Codec
{

/// One tag header as it appears on the wire: an application tag (the datatype of a primitive), a
/// context tag (a numbered field of a constructed value), or the opening or closing tag that encloses
/// a constructed field. Tag numbers go up to 254 (the extended form); lengths up to 2^32 - 1 (the
/// extended forms of one, two and four octets).
struct Tag
{
    enum Kind : std::uint8_t
    {
        APPLICATION,
        CONTEXT,
        OPENING,
        CLOSING,
    };

    Kind kind = APPLICATION;
    std::uint8_t number = 0;
    /// Content length in octets. For an application BOOLEAN it is the value itself (0 or 1) and no
    /// content follows; opening and closing tags have none.
    std::uint32_t length = 0;
    /// Octets taken by the tag header itself (1 to 7).
    std::uint8_t headerSize = 1;

    bool isApplication(std::uint8_t n) const { return kind == APPLICATION && number == n; }
    bool isContext(std::uint8_t n) const { return kind == CONTEXT && number == n; }
    bool isOpening(std::uint8_t n) const { return kind == OPENING && number == n; }
    bool isClosing(std::uint8_t n) const { return kind == CLOSING && number == n; }
    /// The content octets that follow the header: `length`, but 0 for an application BOOLEAN and for
    /// opening and closing tags.
    std::uint32_t contentLength() const;
};

}  // namespace Orvik::BACnet::Codec
