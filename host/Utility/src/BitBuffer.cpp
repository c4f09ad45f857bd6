#include "Orvik_Utility/BitBuffer.h"

#include <Poco/Exception.h>

namespace Orvik::Utility
{

namespace
{
constexpr std::size_t WORD_OCTETS = 4;
}

BitBuffer::BitBuffer(std::size_t bitCount) : _bitCount(bitCount), _octets(storageOctets(bitCount)) {}

std::size_t BitBuffer::storageOctets(std::size_t bitCount)
{
    const std::size_t words = bitCount == 0 ? 1 : (bitCount + 8 * WORD_OCTETS - 1) / (8 * WORD_OCTETS);
    return words * WORD_OCTETS;
}

void BitBuffer::setBitCount(std::size_t bitCount)
{
    for (std::size_t index = bitCount; index < _bitCount; ++index)
    {
        setBit(index, false);
    }
    _octets.resize(storageOctets(bitCount));
    _bitCount = bitCount;
}

bool BitBuffer::getBit(std::size_t index) const
{
    checkIndex(index);
    return (_octets.getUInt8(index / 8) >> (index % 8) & 1) != 0;
}

void BitBuffer::setBit(std::size_t index, bool value)
{
    checkIndex(index);
    const auto mask = static_cast<Poco::UInt8>(1 << (index % 8));
    const Poco::UInt8 octet = _octets.getUInt8(index / 8);
    _octets.setUInt8(index / 8, value ? octet | mask : octet & ~mask);
}

std::string BitBuffer::toString() const
{
    std::string text;
    text.reserve(_bitCount);
    for (std::size_t index = 0; index < _bitCount; ++index)
    {
        text += getBit(index) ? '1' : '0';
    }
    return text;
}

bool BitBuffer::fromString(const std::string& text)
{
    if (text.find_first_not_of("01") != std::string::npos)
    {
        return false;
    }
    BitBuffer parsed(text.size());
    for (std::size_t index = 0; index < text.size(); ++index)
    {
        parsed.setBit(index, text[index] == '1');
    }
    *this = parsed;
    return true;
}

void BitBuffer::checkIndex(std::size_t index) const
{
    if (index >= _bitCount)
    {
        throw Poco::RangeException("Bit " + std::to_string(index) + " beyond a bit string of " +
                                   std::to_string(_bitCount));
    }
}

}  // namespace Orvik::Utility
