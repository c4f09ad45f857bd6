#include "ApduSender.h"

#include "BvllLink.h"
#include "Orvik_BACnet/Codec/Npdu.h"

#include <Poco/Exception.h>
#include <Poco/Logger.h>

namespace Orvik::BACnet::Client::IP
{

using Codec::Npdu;

void ApduSender::sendTo(const PeerAddress& peer, const Codec::Octets& apdu, bool expectingReply)
{
    Npdu::Header header;
    header.expectingReply = expectingReply;
    if (peer.isRouted())
    {
        header.hasDestination = true;
        header.destination = peer.address();
    }
    _link.sendUnicast(peer.via(), Npdu::encode(header, apdu));
}

void ApduSender::broadcast(const DataType::BACnetAddress& destination, const Codec::Octets& apdu)
{
    Npdu::Header header;
    const Poco::UInt16 network = destination.getNetworkNumber();
    header.hasDestination = network != 0;
    header.destination = destination;
    const Codec::Octets npdu = Npdu::encode(header, apdu);
    // A station or broadcast on a network whose router is known goes to that router.
    const std::optional<Codec::Bvll::Endpoint> router =
        network == 0 || destination.isGlobalBroadcast() ? std::nullopt : _bindings.routerFor(network);
    if (router)
        _link.sendUnicast(*router, npdu);
    else
        _link.sendBroadcast(npdu);
}

void ApduSender::sendPdu(const PeerAddress& peer, const Codec::Apdu::Header& header)
{
    try
    {
        sendTo(peer, Codec::Apdu::encode(header), false);
    }
    catch (const Poco::Exception& e)
    {
        Poco::Logger::get("BACnetIP")
            .debug("BACnet/IP: no answer to " + peer.toString() + ": " + e.displayText());
    }
}

}  // namespace Orvik::BACnet::Client::IP
