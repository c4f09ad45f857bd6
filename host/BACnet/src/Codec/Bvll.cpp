#include "Orvik_BACnet/Codec/Bvll.h"

#include <Poco/Exception.h>

#include "OctetCursor.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::size_t _ENDPOINT_SIZE = 6;

void appendUInt16(Octets& out, std::uint16_t value)
{
    out.push_back(static_cast<std::uint8_t>(value >> 8));
    out.push_back(static_cast<std::uint8_t>(value));
}

void appendEndpoint(Octets& out, const Bvll::Endpoint& endpoint)
{
    out.insert(out.end(), endpoint.address.begin(), endpoint.address.end());
    appendUInt16(out, endpoint.port);
}

Bvll::Endpoint readEndpoint(OctetCursor& in)
{
    Bvll::Endpoint endpoint;
    for (std::uint8_t& octet : endpoint.address)
    {
        octet = in.byte();
    }
    endpoint.port = in.uint16();
    return endpoint;
}

}  // namespace

DataType::BACnetAddress Bvll::Endpoint::toAddress(std::uint16_t network) const
{
    Octets mac;
    appendEndpoint(mac, *this);
    DataType::BACnetAddress result;
    result.setNetworkNumber(network);
    result.setMAC(mac.data(), mac.size());
    return result;
}

Bvll::Endpoint Bvll::Endpoint::fromAddress(const DataType::BACnetAddress& address)
{
    if (address.getMACLength() != _ENDPOINT_SIZE)
    {
        throw Poco::InvalidArgumentException("Not a BACnet/IP address",
                                             std::to_string(address.getMACLength()) + " MAC octets");
    }
    OctetCursor in(OctetView(address.getMAC(), _ENDPOINT_SIZE), "BACnet/IP address");
    return readEndpoint(in);
}

bool Bvll::Message::carriesNpdu() const
{
    return function == FORWARDED_NPDU || function == DISTRIBUTE_BROADCAST_TO_NETWORK ||
           function == ORIGINAL_UNICAST_NPDU || function == ORIGINAL_BROADCAST_NPDU;
}

Octets Bvll::encode(const Message& message)
{
    Octets out{_TYPE_BACNET_IP, message.function, 0, 0};
    switch (message.function)
    {
        case BVLC_RESULT:
            appendUInt16(out, message.result);
            break;
        case REGISTER_FOREIGN_DEVICE:
            appendUInt16(out, message.timeToLive);
            break;
        case FORWARDED_NPDU:
            appendEndpoint(out, message.originalSource);
            out.insert(out.end(), message.payload.begin(), message.payload.end());
            break;
        default:
            out.insert(out.end(), message.payload.begin(), message.payload.end());
            break;
    }
    if (out.size() > _MAX_DATAGRAM)
    {
        throw Poco::InvalidArgumentException("BACnet/IP datagram too long", std::to_string(out.size()));
    }
    out[2] = static_cast<std::uint8_t>(out.size() >> 8);
    out[3] = static_cast<std::uint8_t>(out.size());
    return out;
}

Bvll::Message Bvll::decode(OctetView datagram)
{
    OctetCursor in(datagram, "BACnet/IP header");
    if (in.byte() != _TYPE_BACNET_IP)
    {
        throw DecodeError("Not a BACnet/IP datagram", ERROR_CODE_HEADER_ENCODING_ERROR);
    }
    Message message;
    const std::uint8_t function = in.byte();
    if (function > SECURE_BVLL)
    {
        throw DecodeError("Unknown BACnet/IP function", std::to_string(function),
                          ERROR_CODE_HEADER_ENCODING_ERROR);
    }
    message.function = static_cast<Function>(function);
    const std::uint16_t length = in.uint16();
    if (length != datagram.size)
    {
        throw DecodeError("BACnet/IP length field differs from the datagram",
                          std::to_string(length) + " != " + std::to_string(datagram.size),
                          ERROR_CODE_HEADER_ENCODING_ERROR);
    }
    switch (message.function)
    {
        case BVLC_RESULT:
            message.result = in.uint16();
            break;
        case REGISTER_FOREIGN_DEVICE:
            message.timeToLive = in.uint16();
            break;
        case FORWARDED_NPDU:
            message.originalSource = readEndpoint(in);
            break;
        default:
            break;
    }
    message.payload = in.rest();
    return message;
}

}  // namespace Orvik::BACnet::Codec
