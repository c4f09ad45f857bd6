#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "MarkupMembers.h"

#include <algorithm>
#include <cstdio>

#include <Poco/NumberParser.h>

#include "Orvik_Utility/ConvertIt.h"

namespace Orvik::BACnet::DataType
{

namespace
{

constexpr std::size_t _IP_MAC_LENGTH = 6;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

/// Decimal number of 1 to `maxDigits` digits, at most `max`.
bool readDecimal(const std::string& text, std::size_t& pos, std::size_t maxDigits, unsigned max,
                 unsigned& value)
{
    const std::size_t start = pos;
    value = 0;
    while (pos < text.size() && isDigit(text[pos]) && pos - start < maxDigits)
    {
        value = value * 10 + static_cast<unsigned>(text[pos] - '0');
        ++pos;
    }
    return pos > start && value <= max && (pos == text.size() || !isDigit(text[pos]));
}

/// "a.b.c.d" with optional ":port".
bool parseIp(const std::string& text, std::uint8_t (&mac)[_IP_MAC_LENGTH])
{
    std::size_t pos = 0;
    for (int octet = 0; octet < 4; ++octet)
    {
        unsigned value = 0;
        if ((octet > 0 && (pos >= text.size() || text[pos++] != '.')) ||
            !readDecimal(text, pos, 3, 255, value))
        {
            return false;
        }
        mac[octet] = static_cast<std::uint8_t>(value);
    }
    unsigned port = BACnetAddress::_DEFAULT_IP_PORT;
    if (pos < text.size() && (text[pos++] != ':' || !readDecimal(text, pos, 5, 65535, port)))
    {
        return false;
    }
    mac[4] = static_cast<std::uint8_t>(port >> 8);
    mac[5] = static_cast<std::uint8_t>(port & 0xFF);
    return pos == text.size();
}

/// Hexadecimal octets: groups of one or two digits separated by ':' or '-', or one run of digit pairs.
bool parseHex(const std::string& text, std::uint8_t (&mac)[BACnetAddress::_MAX_MAC_LENGTH],
              std::size_t& length)
{
    const bool separated = text.find_first_of(":-") != std::string::npos;
    length = 0;
    std::size_t pos = 0;
    while (pos < text.size())
    {
        if (length > 0 && separated && (text[pos] != ':' && text[pos] != '-'))
        {
            return false;
        }
        if (length > 0 && separated)
        {
            ++pos;
        }
        int octet = 0;
        std::size_t digits = 0;
        while (pos < text.size() && digits < 2 && Orvik::Utility::ConvertIt::hexDigitValue(text[pos]) >= 0)
        {
            octet = octet * 16 + Orvik::Utility::ConvertIt::hexDigitValue(text[pos]);
            ++pos;
            ++digits;
        }
        if (digits == 0 || (!separated && digits != 2) || length == BACnetAddress::_MAX_MAC_LENGTH)
        {
            return false;
        }
        mac[length++] = static_cast<std::uint8_t>(octet);
    }
    return true;
}

}  // namespace

bool BACnetAddress::setMAC(const std::string& text)
{
    if (text.empty())
    {
        return setMAC(nullptr, 0);
    }
    if (text.find('.') != std::string::npos)
    {
        std::uint8_t ip[_IP_MAC_LENGTH];
        return parseIp(text, ip) && setMAC(ip, _IP_MAC_LENGTH);
    }
    std::uint8_t mac[_MAX_MAC_LENGTH];
    std::size_t length = 0;
    return parseHex(text, mac, length) && setMAC(mac, length);
}

bool BACnetAddress::setMAC(const std::uint8_t* mac, std::size_t length)
{
    if (length > _MAX_MAC_LENGTH || (length > 0 && mac == nullptr))
    {
        return false;
    }
    _mac.fill(0);
    std::copy(mac, mac + length, _mac.begin());
    _macLength = static_cast<std::uint8_t>(length);
    return true;
}

std::string& BACnetAddress::getString(std::string& out, bool macOnly) const
{
    out.clear();
    if (!macOnly)
    {
        out += std::to_string(_networkNumber);
        out += '/';
    }
    char text[24];
    if (_macLength == _IP_MAC_LENGTH)
    {
        std::snprintf(text, sizeof(text), "%u.%u.%u.%u:%u", _mac[0], _mac[1], _mac[2], _mac[3],
                      (static_cast<unsigned>(_mac[4]) << 8) | _mac[5]);
        out += text;
        return out;
    }
    for (std::size_t i = 0; i < _macLength; ++i)
    {
        std::snprintf(text, sizeof(text), i == 0 ? "%02x" : ":%02x", _mac[i]);
        out += text;
    }
    return out;
}

bool BACnetAddress::operator==(const BACnetAddress& other) const
{
    return _networkNumber == other._networkNumber && _macLength == other._macLength && _mac == other._mac;
}

void BACnetAddress::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    static const std::string networkNumber = "network-number";
    static const std::string macAddress = "mac-address";
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    MarkupMembers::write(mf, WS::MarkupFactory::BT_UNSIGNED, networkNumber, std::to_string(_networkNumber));
    std::string octets(reinterpret_cast<const char*>(_mac.data()), _macLength);
    MarkupMembers::writeValue(mf, macAddress, BACnetValue::makeOctetString(octets), false, BACNET_DT_NULL);
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::DataType
