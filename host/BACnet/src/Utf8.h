#pragma once

#include <cstddef>
#include <string_view>

namespace Orvik::BACnet
{

/// UTF-8 checks for the stored text form (RFC 3629: no overlong forms, no surrogates, at most U+10FFFF).
class Utf8
{
public:
    /// Length of the valid UTF-8 sequence starting at `pos`, 0 when the octets there are not one.
    static std::size_t sequenceLength(std::string_view text, std::size_t pos);
    static bool isValid(std::string_view text);
};

}  // namespace Orvik::BACnet
