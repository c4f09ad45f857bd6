#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"

namespace Orvik::BACnet::Codec
{

/// The application layer header of the eight PDU types. The service data that follows it is read and
/// written by the service classes (WhoIs, ReadProperty, ...).
class Apdu
{
public:
    /// The largest APDU of BACnet/IP.
    static constexpr std::uint16_t _MAX_APDU_IP = 1476;
    /// Max-segments value "more than 64 segments".
    static constexpr std::uint8_t _MORE_THAN_64_SEGMENTS = 65;

    enum Type : std::uint8_t
    {
        CONFIRMED_REQUEST = 0,
        UNCONFIRMED_REQUEST = 1,
        SIMPLE_ACK = 2,
        COMPLEX_ACK = 3,
        SEGMENT_ACK = 4,
        ERROR = 5,
        REJECT = 6,
        ABORT = 7,
    };

    /// The header fields; which ones a type uses is noted per field.
    struct Header
    {
        Type type = CONFIRMED_REQUEST;
        /// Confirmed-Request, Complex-ACK: this PDU is one segment of a segmented message.
        bool segmented = false;
        /// Confirmed-Request, Complex-ACK: more segments follow this one.
        bool moreFollows = false;
        /// Confirmed-Request: the requester accepts a segmented answer.
        bool segmentedResponseAccepted = false;
        /// Confirmed-Request: the most segments the requester accepts; 0 unspecified, 2, 4, 8, 16, 32,
        /// 64, or _MORE_THAN_64_SEGMENTS. Encoding rounds other numbers down to one of these.
        std::uint8_t maxSegments = 0;
        /// Confirmed-Request: the largest APDU the requester accepts: 50, 128, 206, 480, 1024 or 1476.
        /// Encoding rounds other numbers down to one of these (at least 50).
        std::uint16_t maxApdu = _MAX_APDU_IP;
        /// Every type except Unconfirmed-Request.
        std::uint8_t invokeId = 0;
        /// Segmented Confirmed-Request and Complex-ACK, Segment-ACK.
        std::uint8_t sequenceNumber = 0;
        /// Segmented Confirmed-Request and Complex-ACK: proposed window size; Segment-ACK: actual
        /// window size. Carried as it is; 1 to 127 are valid, the transport checks it.
        std::uint8_t windowSize = 1;
        /// Segment-ACK: negative acknowledgement (a segment is missing).
        bool negativeAck = false;
        /// Segment-ACK, Abort: sent by the server (the side answering the request).
        bool server = false;
        /// The service choice (Confirmed-Request, Unconfirmed-Request, Simple-ACK, Complex-ACK, Error),
        /// or the reason (Reject: BACNET_REJECT_REASON, Abort: BACNET_ABORT_REASON).
        std::uint8_t serviceChoice = 0;
    };

    struct Message
    {
        Header header;
        /// The service data (of this segment); points into the decoded APDU. Empty for Simple-ACK,
        /// Segment-ACK, Reject and Abort.
        OctetView serviceData;
    };

    /// The APDU: header, then `serviceData` (only for the types that carry service data; for the
    /// others it must be empty). Throws Poco::InvalidArgumentException otherwise.
    static Octets encode(const Header& header, OctetView serviceData = OctetView());
    /// Reads an APDU; `serviceData` points into `apdu`. Throws DecodeError for a reserved type, a
    /// reserved max-APDU code, a header cut short, or octets after the header of a type that carries
    /// no service data.
    static Message decode(OctetView apdu);

    /// The header size of `header`'s type and flags (where its service data begins).
    static std::size_t headerSize(const Header& header);
};

}  // namespace Orvik::BACnet::Codec
