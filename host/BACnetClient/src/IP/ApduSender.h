#pragma once

#include "BindingTable.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "PeerAddress.h"

namespace Orvik::BACnet::Client::IP
{

class BvllLink;

/// Puts the station's APDUs on the link in an NPDU: to a station (through its router, with the
/// station's network address, when it is behind one) or as a broadcast (to the router of the network
/// when one is known, else to the link's broadcast).
///
/// Holds no state of its own; the transport calls it under its lock, which guards the binding table.
class ApduSender
{
public:
    ApduSender(BvllLink& link, const BindingTable& bindings) : _link(link), _bindings(bindings) {}

    /// Throws Poco::Exception when the socket refuses the datagram.
    void sendTo(const PeerAddress& peer, const Codec::Octets& apdu, bool expectingReply);
    void broadcast(const DataType::BACnetAddress& destination, const Codec::Octets& apdu);
    /// An answer without service data (Segment-ACK, Abort, Reject, Simple-ACK); one the socket refuses
    /// is logged and lost, like a datagram on the way.
    void sendPdu(const PeerAddress& peer, const Codec::Apdu::Header& header);

private:
    BvllLink& _link;
    const BindingTable& _bindings;
};

}  // namespace Orvik::BACnet::Client::IP
