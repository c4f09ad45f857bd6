#include "Orvik_Utility/OctetBuffer.h"

#include "Orvik_Utility/ConvertIt.h"

#include <Poco/Exception.h>

namespace Orvik::Utility
{

OctetBuffer::OctetBuffer(std::size_t size) : _octets(size, 0) {}

OctetBuffer::OctetBuffer(const Poco::UInt8* pData, std::size_t length) : _octets(pData, pData + length) {}

OctetBuffer::OctetBuffer(std::vector<Poco::UInt8> octets) : _octets(std::move(octets)) {}

void OctetBuffer::append(const Poco::UInt8* pData, std::size_t length)
{
    _octets.insert(_octets.end(), pData, pData + length);
}

Poco::UInt8 OctetBuffer::getUInt8(std::size_t offset) const
{
    return static_cast<Poco::UInt8>(getNumber(offset, 1, true));
}

Poco::UInt16 OctetBuffer::getUInt16(std::size_t offset, bool littleEndian) const
{
    return static_cast<Poco::UInt16>(getNumber(offset, 2, littleEndian));
}

Poco::UInt32 OctetBuffer::getUInt32(std::size_t offset, bool littleEndian) const
{
    return getNumber(offset, 4, littleEndian);
}

void OctetBuffer::setUInt8(std::size_t offset, Poco::UInt8 value)
{
    setNumber(offset, 1, value, true);
}

void OctetBuffer::setUInt16(std::size_t offset, Poco::UInt16 value, bool littleEndian)
{
    setNumber(offset, 2, value, littleEndian);
}

void OctetBuffer::setUInt32(std::size_t offset, Poco::UInt32 value, bool littleEndian)
{
    setNumber(offset, 4, value, littleEndian);
}

std::string OctetBuffer::toHex() const
{
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * _octets.size());
    for (Poco::UInt8 octet : _octets)
    {
        text += DIGITS[octet >> 4];
        text += DIGITS[octet & 0x0F];
    }
    return text;
}

bool OctetBuffer::fromHex(const std::string& text)
{
    if (text.size() % 2 != 0)
    {
        return false;
    }
    std::vector<Poco::UInt8> octets;
    octets.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2)
    {
        const int high = ConvertIt::hexDigitValue(text[i]);
        const int low = ConvertIt::hexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
        {
            return false;
        }
        octets.push_back(static_cast<Poco::UInt8>(high << 4 | low));
    }
    _octets.swap(octets);
    return true;
}

void OctetBuffer::checkRange(std::size_t offset, std::size_t length) const
{
    // Written so that a huge offset cannot wrap around.
    if (offset > _octets.size() || _octets.size() - offset < length)
    {
        throw Poco::RangeException("Octets " + std::to_string(offset) + " to " +
                                   std::to_string(offset + length) + " beyond a buffer of " +
                                   std::to_string(_octets.size()));
    }
}

Poco::UInt32 OctetBuffer::getNumber(std::size_t offset, std::size_t length, bool littleEndian) const
{
    checkRange(offset, length);
    Poco::UInt32 value = 0;
    for (std::size_t i = 0; i < length; ++i)
    {
        const std::size_t index = littleEndian ? offset + length - 1 - i : offset + i;
        value = value << 8 | _octets[index];
    }
    return value;
}

void OctetBuffer::setNumber(std::size_t offset, std::size_t length, Poco::UInt32 value, bool littleEndian)
{
    checkRange(offset, length);
    for (std::size_t i = 0; i < length; ++i)
    {
        const std::size_t index = littleEndian ? offset + i : offset + length - 1 - i;
        _octets[index] = static_cast<Poco::UInt8>(value >> (8 * i));
    }
}

}  // namespace Orvik::Utility
