#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::Utility
{

/// A growable sequence of octets with bounds-checked access.
///
/// Every read or write names its position; one that reaches beyond the end throws
/// Poco::RangeException and changes nothing. Multi-octet numbers are read and
/// written in the byte order the caller names (`littleEndian` true: least
/// significant octet first; false: network order).
class OctetBuffer
{
public:
    OctetBuffer() = default;
    /// `size` octets of 0.
    explicit OctetBuffer(std::size_t size);
    OctetBuffer(const Poco::UInt8* pData, std::size_t length);
    explicit OctetBuffer(std::vector<Poco::UInt8> octets);

    std::size_t size() const { return _octets.size(); }
    bool empty() const { return _octets.empty(); }
    /// New octets are 0.
    void resize(std::size_t size) { _octets.resize(size, 0); }
    void clear() { _octets.clear(); }
    const Poco::UInt8* data() const { return _octets.data(); }
    const std::vector<Poco::UInt8>& octets() const { return _octets; }

    void append(const Poco::UInt8* pData, std::size_t length);
    void append(Poco::UInt8 octet) { _octets.push_back(octet); }

    Poco::UInt8 getUInt8(std::size_t offset) const;
    Poco::UInt16 getUInt16(std::size_t offset, bool littleEndian) const;
    Poco::UInt32 getUInt32(std::size_t offset, bool littleEndian) const;
    void setUInt8(std::size_t offset, Poco::UInt8 value);
    void setUInt16(std::size_t offset, Poco::UInt16 value, bool littleEndian);
    void setUInt32(std::size_t offset, Poco::UInt32 value, bool littleEndian);

    /// Two lower-case hex digits per octet, no separators ("" for no octets).
    std::string toHex() const;
    /// Reads what toHex() writes (upper case too). False, and the buffer unchanged,
    /// for an odd length or a character that is no hex digit.
    bool fromHex(const std::string& text);

    bool operator==(const OctetBuffer& other) const { return _octets == other._octets; }
    bool operator!=(const OctetBuffer& other) const { return !(*this == other); }

private:
    void checkRange(std::size_t offset, std::size_t length) const;
    Poco::UInt32 getNumber(std::size_t offset, std::size_t length, bool littleEndian) const;
    void setNumber(std::size_t offset, std::size_t length, Poco::UInt32 value, bool littleEndian);

    std::vector<Poco::UInt8> _octets;
};

}  // namespace Orvik::Utility
