#include "Orvik_BACnet/Codec/Npdu.h"

#include <Poco/Exception.h>

#include "OctetCursor.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _NETWORK_MESSAGE = 0x80;
constexpr std::uint8_t _DESTINATION = 0x20;
constexpr std::uint8_t _SOURCE = 0x08;
constexpr std::uint8_t _EXPECTING_REPLY = 0x04;
constexpr std::uint8_t _PRIORITY_MASK = 0x03;
constexpr std::uint8_t _PROPRIETARY_MESSAGE = 0x80;
constexpr std::uint16_t _GLOBAL_NETWORK = DataType::BACnetAddress::_GLOBAL_BROADCAST_NETWORK;

void appendUInt16(Octets& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendAddress(Octets& out, const DataType::BACnetAddress& address)
{
    appendUInt16(out, address.getNetworkNumber());
    out.push_back(static_cast<std::uint8_t>(address.getMACLength()));
    out.insert(out.end(), address.getMAC(), address.getMAC() + address.getMACLength());
}

[[noreturn]] void malformed(const std::string& what)
{
    throw DecodeError(what, ERROR_CODE_HEADER_ENCODING_ERROR);
}

DataType::BACnetAddress readAddress(OctetCursor& in, const char* which)
{
    DataType::BACnetAddress address;
    address.setNetworkNumber(in.uint16());
    if (address.getNetworkNumber() == 0)
    {
        malformed(std::string(which) + " network 0");
    }
    const std::uint8_t length = in.byte();
    if (length > DataType::BACnetAddress::_MAX_MAC_LENGTH)
    {
        malformed(std::string(which) + " MAC of " + std::to_string(length) + " octets");
    }
    const OctetView mac = in.take(length);
    address.setMAC(mac.data, mac.size);
    return address;
}

bool hasNetworkList(std::uint8_t type)
{
    return type == Npdu::I_AM_ROUTER_TO_NETWORK || type == Npdu::ROUTER_BUSY_TO_NETWORK ||
           type == Npdu::ROUTER_AVAILABLE_TO_NETWORK;
}

}  // namespace

Octets Npdu::encode(const Header& header, OctetView payload)
{
    std::uint8_t control = header.priority & _PRIORITY_MASK;
    control |= header.isNetworkMessage ? _NETWORK_MESSAGE : 0;
    control |= header.hasDestination ? _DESTINATION : 0;
    control |= header.hasSource ? _SOURCE : 0;
    control |= header.expectingReply ? _EXPECTING_REPLY : 0;
    Octets out{_VERSION, control};
    if (header.hasDestination)
    {
        if (header.destination.getNetworkNumber() == 0)
        {
            throw Poco::InvalidArgumentException("NPDU destination on network 0");
        }
        appendAddress(out, header.destination);
    }
    if (header.hasSource)
    {
        const std::uint16_t network = header.source.getNetworkNumber();
        if (network == 0 || network == _GLOBAL_NETWORK || header.source.isBroadcast())
        {
            throw Poco::InvalidArgumentException("NPDU source must be one station on a network");
        }
        appendAddress(out, header.source);
    }
    if (header.hasDestination)
    {
        out.push_back(header.hopCount);
    }
    if (header.isNetworkMessage)
    {
        out.push_back(header.messageType);
        if (header.messageType >= _PROPRIETARY_MESSAGE)
        {
            appendUInt16(out, header.vendorId);
        }
    }
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

Octets Npdu::encodeNetworkMessage(Header header, const NetworkMessage& message)
{
    header.isNetworkMessage = true;
    header.messageType = message.type;
    Octets fields;
    if (hasNetworkList(message.type))
    {
        for (std::uint16_t network : message.networks)
        {
            appendUInt16(fields, network);
        }
    }
    else if (message.type == REJECT_MESSAGE_TO_NETWORK)
    {
        fields.push_back(message.rejectReason);
        appendUInt16(fields, message.network);
    }
    else if (message.type == WHO_IS_ROUTER_TO_NETWORK)
    {
        if (message.hasNetwork)
        {
            appendUInt16(fields, message.network);
        }
    }
    else if (message.type == I_COULD_BE_ROUTER_TO_NETWORK || message.type == NETWORK_NUMBER_IS)
    {
        appendUInt16(fields, message.network);
        fields.push_back(message.value);
    }
    return encode(header, fields);
}

Npdu::Message Npdu::decode(OctetView npdu)
{
    OctetCursor in(npdu, "NPDU");
    const std::uint8_t version = in.byte();
    if (version != _VERSION)
    {
        malformed("NPDU version " + std::to_string(version));
    }
    const std::uint8_t control = in.byte();
    Message message;
    Header& header = message.header;
    header.priority = static_cast<Priority>(control & _PRIORITY_MASK);
    header.expectingReply = (control & _EXPECTING_REPLY) != 0;
    header.isNetworkMessage = (control & _NETWORK_MESSAGE) != 0;
    header.hasDestination = (control & _DESTINATION) != 0;
    header.hasSource = (control & _SOURCE) != 0;
    if (header.hasDestination)
    {
        header.destination = readAddress(in, "destination");
    }
    if (header.hasSource)
    {
        header.source = readAddress(in, "source");
        if (header.source.getNetworkNumber() == _GLOBAL_NETWORK || header.source.isBroadcast())
        {
            malformed("NPDU source is a broadcast");
        }
    }
    if (header.hasDestination)
    {
        header.hopCount = in.byte();
    }
    if (header.isNetworkMessage)
    {
        header.messageType = in.byte();
        if (header.messageType >= _PROPRIETARY_MESSAGE)
        {
            header.vendorId = in.uint16();
        }
    }
    message.payload = in.rest();
    return message;
}

Npdu::NetworkMessage Npdu::decodeNetworkMessage(const Message& message)
{
    NetworkMessage result;
    result.type = message.header.messageType;
    OctetCursor in(message.payload, "network layer message");
    if (hasNetworkList(result.type))
    {
        if (message.payload.size % 2 != 0)
        {
            malformed("network list of an odd number of octets");
        }
        result.networks.reserve(message.payload.size / 2);
        while (!in.atEnd())
        {
            result.networks.push_back(in.uint16());
        }
    }
    else if (result.type == REJECT_MESSAGE_TO_NETWORK)
    {
        result.rejectReason = in.byte();
        result.network = in.uint16();
        result.hasNetwork = true;
    }
    else if (result.type == WHO_IS_ROUTER_TO_NETWORK)
    {
        if (!in.atEnd())
        {
            result.network = in.uint16();
            result.hasNetwork = true;
        }
    }
    else if (result.type == I_COULD_BE_ROUTER_TO_NETWORK || result.type == NETWORK_NUMBER_IS)
    {
        result.network = in.uint16();
        result.value = in.byte();
        result.hasNetwork = true;
    }
    return result;
}

}  // namespace Orvik::BACnet::Codec
