#pragma once

#include <cstdint>
#include <vector>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"

namespace Orvik::BACnet::Codec
{

/// The network layer header: version 1, control octet, the optional destination (DNET, DLEN, DADR
/// and hop count) and source (SNET, SLEN, SADR), and for network layer messages the message type.
/// An APDU or a network layer message follows it.
class Npdu
{
public:
    static constexpr std::uint8_t _VERSION = 0x01;
    static constexpr std::uint8_t _DEFAULT_HOP_COUNT = 255;

    enum Priority : std::uint8_t
    {
        PRIORITY_NORMAL = 0,
        PRIORITY_URGENT = 1,
        PRIORITY_CRITICAL_EQUIPMENT = 2,
        PRIORITY_LIFE_SAFETY = 3,
    };

    /// Network layer message types; 0x80 and above are proprietary (a vendor id follows).
    enum MessageType : std::uint8_t
    {
        WHO_IS_ROUTER_TO_NETWORK = 0x00,
        I_AM_ROUTER_TO_NETWORK = 0x01,
        I_COULD_BE_ROUTER_TO_NETWORK = 0x02,
        REJECT_MESSAGE_TO_NETWORK = 0x03,
        ROUTER_BUSY_TO_NETWORK = 0x04,
        ROUTER_AVAILABLE_TO_NETWORK = 0x05,
        INITIALIZE_ROUTING_TABLE = 0x06,
        INITIALIZE_ROUTING_TABLE_ACK = 0x07,
        ESTABLISH_CONNECTION_TO_NETWORK = 0x08,
        DISCONNECT_CONNECTION_TO_NETWORK = 0x09,
        CHALLENGE_REQUEST = 0x0A,
        SECURITY_PAYLOAD = 0x0B,
        SECURITY_RESPONSE = 0x0C,
        REQUEST_KEY_UPDATE = 0x0D,
        UPDATE_KEY_SET = 0x0E,
        UPDATE_DISTRIBUTION_KEY = 0x0F,
        REQUEST_MASTER_KEY = 0x10,
        SET_MASTER_KEY = 0x11,
        WHAT_IS_NETWORK_NUMBER = 0x12,
        NETWORK_NUMBER_IS = 0x13,
    };

    /// Reasons of Reject-Message-To-Network.
    enum RejectReason : std::uint8_t
    {
        REJECT_OTHER = 0,
        REJECT_NO_ROUTE = 1,  ///< the router knows no path to the destination network
        REJECT_ROUTER_BUSY = 2,
        REJECT_UNKNOWN_MESSAGE_TYPE = 3,
        REJECT_MESSAGE_TOO_LONG = 4,
        REJECT_SECURITY_ERROR = 5,
        REJECT_ADDRESSING_ERROR = 6,
    };

    /// The header. A destination or source is present when its flag is set; its MAC (DADR, SADR)
    /// holds up to seven octets, and an empty destination MAC is a broadcast on DNET (65535: every
    /// network).
    struct Header
    {
        bool expectingReply = false;
        Priority priority = PRIORITY_NORMAL;
        bool hasDestination = false;
        DataType::BACnetAddress destination;
        std::uint8_t hopCount = _DEFAULT_HOP_COUNT;
        bool hasSource = false;
        DataType::BACnetAddress source;
        /// A network layer message follows instead of an APDU.
        bool isNetworkMessage = false;
        std::uint8_t messageType = WHO_IS_ROUTER_TO_NETWORK;
        /// Proprietary message types only.
        std::uint16_t vendorId = 0;
    };

    struct Message
    {
        Header header;
        /// The APDU, or the network layer message's own fields; points into the decoded NPDU.
        OctetView payload;
    };

    /// The fields of the network layer messages a client acts on. The others are recognised by their
    /// type and left unread.
    struct NetworkMessage
    {
        std::uint8_t type = WHO_IS_ROUTER_TO_NETWORK;
        /// Who-Is-Router-To-Network (when it names one), I-Could-Be-Router-To-Network,
        /// Reject-Message-To-Network, Network-Number-Is: the network concerned.
        bool hasNetwork = false;
        std::uint16_t network = 0;
        /// I-Am-Router-To-Network, Router-Busy-To-Network, Router-Available-To-Network: the networks.
        std::vector<std::uint16_t> networks;
        /// Reject-Message-To-Network only.
        std::uint8_t rejectReason = REJECT_OTHER;
        /// I-Could-Be-Router-To-Network: performance index; Network-Number-Is: 1 configured, 0 learned.
        std::uint8_t value = 0;
    };

    /// The NPDU: header, then `payload` (APDU or message fields). Throws
    /// Poco::InvalidArgumentException for a destination or source network 0, or a source that is a
    /// broadcast or a global network.
    static Octets encode(const Header& header, OctetView payload);
    /// A network layer message of `header` (isNetworkMessage set) with its fields.
    static Octets encodeNetworkMessage(Header header, const NetworkMessage& message);
    /// Reads an NPDU; `payload` points into `npdu`. Throws DecodeError for another version, a MAC
    /// longer than seven octets, an empty source MAC, source network 65535, or fields cut short.
    static Message decode(OctetView npdu);
    /// The fields of a network layer message (header.isNetworkMessage). Throws DecodeError for fields
    /// cut short; unknown and proprietary types give just their type.
    static NetworkMessage decodeNetworkMessage(const Message& message);
};

}  // namespace Orvik::BACnet::Codec
