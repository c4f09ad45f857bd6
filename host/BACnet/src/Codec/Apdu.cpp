#include "Orvik_BACnet/Codec/Apdu.h"

#include <Poco/Exception.h>

#include "OctetCursor.h"
#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _SEGMENTED = 0x08;
constexpr std::uint8_t _MORE_FOLLOWS = 0x04;
constexpr std::uint8_t _SEGMENTED_RESPONSE_ACCEPTED = 0x02;
constexpr std::uint8_t _NEGATIVE_ACK = 0x02;
constexpr std::uint8_t _SERVER = 0x01;

constexpr std::uint16_t _MAX_APDU_SIZES[] = {50, 128, 206, 480, 1024, 1476};
constexpr std::size_t _MAX_APDU_CODES = sizeof(_MAX_APDU_SIZES) / sizeof(_MAX_APDU_SIZES[0]);
constexpr std::uint8_t _MORE_THAN_64_CODE = 7;

std::uint8_t maxApduCode(std::uint16_t maxApdu)
{
    std::size_t code = 0;
    while (code + 1 < _MAX_APDU_CODES && _MAX_APDU_SIZES[code + 1] <= maxApdu)
    {
        ++code;
    }
    return static_cast<std::uint8_t>(code);
}

std::uint8_t maxSegmentsCode(std::uint8_t maxSegments)
{
    if (maxSegments > 64)
    {
        return _MORE_THAN_64_CODE;
    }
    std::uint8_t code = 0;
    while (code < 6 && (2u << code) <= maxSegments)
    {
        ++code;
    }
    return code;
}

std::uint8_t maxSegmentsOf(std::uint8_t code)
{
    if (code == 0)
    {
        return 0;
    }
    return code == _MORE_THAN_64_CODE ? Apdu::_MORE_THAN_64_SEGMENTS : static_cast<std::uint8_t>(1u << code);
}

bool carriesServiceData(Apdu::Type type)
{
    return type == Apdu::CONFIRMED_REQUEST || type == Apdu::UNCONFIRMED_REQUEST ||
           type == Apdu::COMPLEX_ACK || type == Apdu::ERROR;
}

bool hasSegmentFields(const Apdu::Header& header)
{
    return (header.type == Apdu::CONFIRMED_REQUEST || header.type == Apdu::COMPLEX_ACK) && header.segmented;
}

}  // namespace

std::size_t Apdu::headerSize(const Header& header)
{
    switch (header.type)
    {
        case CONFIRMED_REQUEST:
            return header.segmented ? 6 : 4;
        case UNCONFIRMED_REQUEST:
            return 2;
        case COMPLEX_ACK:
            return header.segmented ? 5 : 3;
        case SEGMENT_ACK:
            return 4;
        default:
            return 3;
    }
}

Octets Apdu::encode(const Header& header, OctetView serviceData)
{
    if (!serviceData.empty() && !carriesServiceData(header.type))
    {
        throw Poco::InvalidArgumentException("This PDU type carries no service data");
    }
    std::uint8_t first = static_cast<std::uint8_t>(header.type << 4);
    Octets out;
    out.reserve(headerSize(header) + serviceData.size);
    switch (header.type)
    {
        case CONFIRMED_REQUEST:
            first |= header.segmented ? _SEGMENTED : 0;
            first |= header.moreFollows ? _MORE_FOLLOWS : 0;
            first |= header.segmentedResponseAccepted ? _SEGMENTED_RESPONSE_ACCEPTED : 0;
            out = {first,
                   static_cast<std::uint8_t>((maxSegmentsCode(header.maxSegments) << 4) |
                                             maxApduCode(header.maxApdu)),
                   header.invokeId};
            break;
        case UNCONFIRMED_REQUEST:
            out = {first};
            break;
        case COMPLEX_ACK:
            first |= header.segmented ? _SEGMENTED : 0;
            first |= header.moreFollows ? _MORE_FOLLOWS : 0;
            out = {first, header.invokeId};
            break;
        case SEGMENT_ACK:
            first |= header.negativeAck ? _NEGATIVE_ACK : 0;
            first |= header.server ? _SERVER : 0;
            return {first, header.invokeId, header.sequenceNumber, header.windowSize};
        case ABORT:
            first |= header.server ? _SERVER : 0;
            return {first, header.invokeId, header.serviceChoice};
        default:  // Simple-ACK, Error, Reject
            out = {first, header.invokeId};
            break;
    }
    if (hasSegmentFields(header))
    {
        out.push_back(header.sequenceNumber);
        out.push_back(header.windowSize);
    }
    out.push_back(header.serviceChoice);
    out.insert(out.end(), serviceData.begin(), serviceData.end());
    return out;
}

Apdu::Message Apdu::decode(OctetView apdu)
{
    OctetCursor in(apdu, "APDU header");
    const std::uint8_t first = in.byte();
    Message message;
    Header& header = message.header;
    if ((first >> 4) > ABORT)
    {
        throw DecodeError("Reserved APDU type", std::to_string(first >> 4), ERROR_CODE_HEADER_ENCODING_ERROR);
    }
    header.type = static_cast<Type>(first >> 4);
    switch (header.type)
    {
        case CONFIRMED_REQUEST:
        {
            header.segmented = (first & _SEGMENTED) != 0;
            header.moreFollows = (first & _MORE_FOLLOWS) != 0;
            header.segmentedResponseAccepted = (first & _SEGMENTED_RESPONSE_ACCEPTED) != 0;
            const std::uint8_t limits = in.byte();
            if ((limits & 0x0F) >= _MAX_APDU_CODES)
            {
                throw DecodeError("Reserved max-APDU code", std::to_string(limits & 0x0F),
                                  ERROR_CODE_HEADER_ENCODING_ERROR);
            }
            header.maxApdu = _MAX_APDU_SIZES[limits & 0x0F];
            header.maxSegments = maxSegmentsOf((limits >> 4) & 0x07);
            header.invokeId = in.byte();
            break;
        }
        case UNCONFIRMED_REQUEST:
            break;
        case COMPLEX_ACK:
            header.segmented = (first & _SEGMENTED) != 0;
            header.moreFollows = (first & _MORE_FOLLOWS) != 0;
            header.invokeId = in.byte();
            break;
        case SEGMENT_ACK:
            header.negativeAck = (first & _NEGATIVE_ACK) != 0;
            header.server = (first & _SERVER) != 0;
            header.invokeId = in.byte();
            header.sequenceNumber = in.byte();
            header.windowSize = in.byte();
            break;
        case ABORT:
            header.server = (first & _SERVER) != 0;
            header.invokeId = in.byte();
            break;
        default:  // Simple-ACK, Error, Reject
            header.invokeId = in.byte();
            break;
    }
    if (hasSegmentFields(header))
    {
        header.sequenceNumber = in.byte();
        header.windowSize = in.byte();
    }
    if (header.type != SEGMENT_ACK)
    {
        header.serviceChoice = in.byte();
    }
    message.serviceData = in.rest();
    if (!message.serviceData.empty() && !carriesServiceData(header.type))
    {
        throw DecodeError("Octets after an APDU that carries no service data",
                          ERROR_CODE_HEADER_ENCODING_ERROR);
    }
    return message;
}

}  // namespace Orvik::BACnet::Codec
