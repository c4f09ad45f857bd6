#pragma once

#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/Codec/Npdu.h"

namespace Orvik::BACnet::Device::IP
{
class SiteServer;
}  // namespace Orvik::BACnet::Device::IP

namespace Orvik::BACnet::Client::IP
{

/// What of the station's traffic belongs to the server of its own device rather than to the client, and
/// its hand-off to that server, decoded (the server answers on its own thread, on the station's link).
///
/// The server's are: Who-Is, Who-Has, confirmed requests other than COV notifications, Segment-ACKs (the
/// client never sends segments) and a client's Aborts; and the answers no request of the client waits
/// for (the acknowledgements of the server's COV notifications). Without a server nothing is handed
/// over and the client deals with all of it.
///
/// Set before the station opens; called on the receive thread under the transport's lock.
class ServerHandOff
{
public:
    void serveWith(Device::IP::SiteServer& server) { _pServer = &server; }

    /// Hands `npdu` over when `apdu` (its payload) is a request for the server; false: the client's.
    bool takeRequest(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu,
                     const Codec::Apdu::Message& apdu) const;
    /// An answer that the client does not wait for: perhaps for the server.
    void takeUnmatched(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu) const;

private:
    static bool isRequest(const Codec::Apdu::Header& header);
    void hand(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu) const;

    Device::IP::SiteServer* _pServer = nullptr;
};

}  // namespace Orvik::BACnet::Client::IP
