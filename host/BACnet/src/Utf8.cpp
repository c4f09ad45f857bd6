#include "Utf8.h"

namespace Orvik::BACnet
{

namespace
{

bool isContinuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

}  // namespace

std::size_t Utf8::sequenceLength(std::string_view text, std::size_t pos)
{
    if (pos >= text.size())
    {
        return 0;
    }
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    unsigned char low = 0x80;  // allowed range of the second octet
    unsigned char high = 0xBF;
    if (lead < 0x80)
    {
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF)
    {
        length = 2;
    }
    else if (lead >= 0xE0 && lead <= 0xEF)
    {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    }
    else if (lead >= 0xF0 && lead <= 0xF4)
    {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    else
    {
        return 0;
    }
    if (text.size() - pos < length)
    {
        return 0;
    }
    const unsigned char second = static_cast<unsigned char>(text[pos + 1]);
    if (second < low || second > high)
    {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i)
    {
        if (!isContinuation(static_cast<unsigned char>(text[pos + i])))
        {
            return 0;
        }
    }
    return length;
}

bool Utf8::isValid(std::string_view text)
{
    for (std::size_t pos = 0; pos < text.size();)
    {
        const std::size_t length = sequenceLength(text, pos);
        if (length == 0)
        {
            return false;
        }
        pos += length;
    }
    return true;
}

}  // namespace Orvik::BACnet
