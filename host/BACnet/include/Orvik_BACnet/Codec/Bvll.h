#pragma once

#include <array>
#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"

namespace Orvik::BACnet::Codec
{

/// The BACnet/IP virtual link layer: the four-octet header (type 0x81, function, length) in front of
/// every BACnet/IP datagram, and the fields some functions carry before the NPDU.
class Bvll
{
public:
    static constexpr std::uint8_t _TYPE_BACNET_IP = 0x81;
    static constexpr std::size_t _HEADER_SIZE = 4;
    /// The largest datagram the link carries (header, NPDU and the largest APDU).
    static constexpr std::size_t _MAX_DATAGRAM = 1497;

    enum Function : std::uint8_t
    {
        BVLC_RESULT = 0x00,
        WRITE_BROADCAST_DISTRIBUTION_TABLE = 0x01,
        READ_BROADCAST_DISTRIBUTION_TABLE = 0x02,
        READ_BROADCAST_DISTRIBUTION_TABLE_ACK = 0x03,
        FORWARDED_NPDU = 0x04,
        REGISTER_FOREIGN_DEVICE = 0x05,
        READ_FOREIGN_DEVICE_TABLE = 0x06,
        READ_FOREIGN_DEVICE_TABLE_ACK = 0x07,
        DELETE_FOREIGN_DEVICE_TABLE_ENTRY = 0x08,
        DISTRIBUTE_BROADCAST_TO_NETWORK = 0x09,
        ORIGINAL_UNICAST_NPDU = 0x0A,
        ORIGINAL_BROADCAST_NPDU = 0x0B,
        SECURE_BVLL = 0x0C,
    };

    /// Result codes of BVLC-Result.
    enum Result : std::uint16_t
    {
        SUCCESSFUL_COMPLETION = 0x0000,
        WRITE_BROADCAST_DISTRIBUTION_TABLE_NAK = 0x0010,
        READ_BROADCAST_DISTRIBUTION_TABLE_NAK = 0x0020,
        REGISTER_FOREIGN_DEVICE_NAK = 0x0030,
        READ_FOREIGN_DEVICE_TABLE_NAK = 0x0040,
        DELETE_FOREIGN_DEVICE_TABLE_ENTRY_NAK = 0x0050,
        DISTRIBUTE_BROADCAST_TO_NETWORK_NAK = 0x0060,
    };

    /// A BACnet/IP address: IPv4 address and UDP port (the six-octet B/IP MAC).
    struct Endpoint
    {
        std::array<std::uint8_t, 4> address{};
        std::uint16_t port = DataType::BACnetAddress::_DEFAULT_IP_PORT;

        /// The endpoint as a BACnetAddress on `network` (0: the local network).
        DataType::BACnetAddress toAddress(std::uint16_t network = 0) const;
        /// The endpoint of a six-octet MAC; throws Poco::InvalidArgumentException for another length.
        static Endpoint fromAddress(const DataType::BACnetAddress& address);

        bool operator==(const Endpoint& other) const
        {
            return address == other.address && port == other.port;
        }
        bool operator!=(const Endpoint& other) const { return !(*this == other); }
    };

    /// One datagram.
    struct Message
    {
        Function function = ORIGINAL_UNICAST_NPDU;
        /// BVLC-Result only.
        std::uint16_t result = SUCCESSFUL_COMPLETION;
        /// Forwarded-NPDU only: the station the NPDU came from (replies go there, not to the sender).
        Endpoint originalSource;
        /// Register-Foreign-Device only: seconds.
        std::uint16_t timeToLive = 0;
        /// The NPDU of Original-Unicast-NPDU, Original-Broadcast-NPDU, Forwarded-NPDU and
        /// Distribute-Broadcast-To-Network; the fields of the other functions, undecoded.
        OctetView payload;

        /// True for the functions that carry an NPDU.
        bool carriesNpdu() const;
    };

    /// The whole datagram. Functions other than the four NPDU carriers, BVLC-Result and
    /// Register-Foreign-Device are written with `payload` as their fields. Throws
    /// Poco::InvalidArgumentException when the datagram would exceed _MAX_DATAGRAM.
    static Octets encode(const Message& message);
    /// Reads a datagram; `payload` points into `datagram`. Throws DecodeError for another type than
    /// BACnet/IP, an unknown function, a length field that is not the datagram's size, or fields cut
    /// short.
    static Message decode(OctetView datagram);
};

}  // namespace Orvik::BACnet::Codec
