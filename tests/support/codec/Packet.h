#pragma once

#include <string>
#include <variant>
#include <vector>

#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/Codec/SubscribeCOV.h"
#include "Orvik_BACnet/Codec/WhoHas.h"
#include "Orvik_BACnet/Codec/WhoIs.h"
#include "Orvik_BACnet/Codec/WriteProperty.h"

namespace Orvik::BACnet::Codec::Test
{

/// A whole BACnet/IP datagram decoded through every layer down to its service record, as the tests
/// and the fuzz targets see it: decode() dispatches on function, PDU type and service choice,
/// describe() prints every decoded field as one line of text, encode() builds the datagram again
/// from the records. Services the codec does not read keep their service data undecoded.
class Packet
{
public:
    using Service = std::variant<std::monostate, WhoIs, IAm, WhoHas, WhoHas::IHave, ReadProperty::Request,
                                 ReadProperty::Ack, std::vector<ReadPropertyMultiple::ObjectRequest>,
                                 std::vector<ReadPropertyMultiple::ObjectResult>, ReadRange::Request,
                                 ReadRange::Ack, WriteProperty::Request, SubscribeCOV::Request,
                                 COVNotification, ServiceError, Npdu::NetworkMessage>;

    /// Throws DecodeError as the codec does.
    static Packet decode(OctetView datagram);

    Packet() = default;
    // The decoded views point into the held datagram: moving keeps it in place, copying would not.
    Packet(Packet&&) = default;
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    /// The decoded records, whatever the layer they end at.
    std::string describe() const;
    Octets encode() const;

    /// Helpers of the test tables: octets from hexadecimal text (blanks ignored) and back.
    static Octets fromHex(const std::string& hex);
    static std::string toHex(const Octets& octets);

private:
    void decodeService();

    Octets _datagram;
    Bvll::Message _bvll;
    Npdu::Message _npdu;
    Apdu::Message _apdu;
    Service _service;
};

}  // namespace Orvik::BACnet::Codec::Test
