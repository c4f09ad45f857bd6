#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Orvik::BACnet::Codec
{

/// The character sets of CharacterString: what arrives is turned into UTF-8, what is sent is UTF-8.
class CharacterSet
{
public:
    enum Set : std::uint8_t
    {
        UTF8 = 0,
        DBCS = 1,
        JIS_X_0208 = 2,
        UCS4 = 3,
        UCS2 = 4,
        ISO_8859_1 = 5,
    };

    /// The text of `size` octets in character set `set`, as UTF-8. Throws DecodeError: code
    /// character-set-not-supported for DBCS, JIS and unknown sets, invalid-data-encoding for octets
    /// that are no text of their set.
    static std::string toUtf8(std::uint8_t set, const std::uint8_t* octets, std::size_t size);

private:
    static void appendCodePoint(std::string& out, std::uint32_t codePoint);
};

}  // namespace Orvik::BACnet::Codec
