#include "CharacterSet.h"

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint32_t _MAX_CODE_POINT = 0x10FFFF;

std::uint32_t bigEndian(const std::uint8_t* octets, std::size_t width)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < width; ++i)
    {
        value = (value << 8) | octets[i];
    }
    return value;
}

bool isHighSurrogate(std::uint32_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(std::uint32_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

[[noreturn]] void invalid(const char* what)
{
    throw DecodeError("CharacterString", what, ERROR_CODE_INVALID_DATA_ENCODING);
}

}  // namespace

std::string CharacterSet::toUtf8(std::uint8_t set, const std::uint8_t* octets, std::size_t size)
{
    std::string text;
    switch (set)
    {
        case UTF8:
            text.assign(reinterpret_cast<const char*>(octets), size);
            return text;
        case ISO_8859_1:
            for (std::size_t i = 0; i < size; ++i)
            {
                appendCodePoint(text, octets[i]);
            }
            return text;
        case UCS2:
            if (size % 2 != 0)
            {
                invalid("UCS-2 text of an odd number of octets");
            }
            for (std::size_t i = 0; i < size; i += 2)
            {
                std::uint32_t unit = bigEndian(octets + i, 2);
                // Some devices send UTF-16 surrogate pairs; join them, refuse lone halves.
                if (isHighSurrogate(unit) && i + 4 <= size && isLowSurrogate(bigEndian(octets + i + 2, 2)))
                {
                    unit = 0x10000 + ((unit - 0xD800) << 10) + (bigEndian(octets + i + 2, 2) - 0xDC00);
                    i += 2;
                }
                else if (isHighSurrogate(unit) || isLowSurrogate(unit))
                {
                    invalid("lone UTF-16 surrogate");
                }
                appendCodePoint(text, unit);
            }
            return text;
        case UCS4:
            if (size % 4 != 0)
            {
                invalid("UCS-4 text not a multiple of four octets");
            }
            for (std::size_t i = 0; i < size; i += 4)
            {
                const std::uint32_t codePoint = bigEndian(octets + i, 4);
                if (codePoint > _MAX_CODE_POINT || isHighSurrogate(codePoint) || isLowSurrogate(codePoint))
                {
                    invalid("UCS-4 character out of range");
                }
                appendCodePoint(text, codePoint);
            }
            return text;
        default:
            throw DecodeError("CharacterString", "character set " + std::to_string(set),
                              ERROR_CODE_CHARACTER_SET_NOT_SUPPORTED);
    }
}

void CharacterSet::appendCodePoint(std::string& out, std::uint32_t codePoint)
{
    if (codePoint < 0x80)
    {
        out += static_cast<char>(codePoint);
    }
    else if (codePoint < 0x800)
    {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else if (codePoint < 0x10000)
    {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
    else
    {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

}  // namespace Orvik::BACnet::Codec
