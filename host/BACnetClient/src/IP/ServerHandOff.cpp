#include "ServerHandOff.h"

#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/WhoHas.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"

namespace Orvik::BACnet::Client::IP
{

using Codec::Apdu;

bool ServerHandOff::takeRequest(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu,
                                const Apdu::Message& apdu) const
{
    if (_pServer == nullptr || !isRequest(apdu.header))
        return false;
    hand(source, npdu);
    return true;
}

void ServerHandOff::takeUnmatched(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu) const
{
    if (_pServer != nullptr)
        hand(source, npdu);
}

void ServerHandOff::hand(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu) const
{
    _pServer->receive(Device::IP::BvllEndpoint::socketAddressOf(source), npdu);
}

bool ServerHandOff::isRequest(const Apdu::Header& header)
{
    switch (header.type)
    {
        case Apdu::UNCONFIRMED_REQUEST:
            return header.serviceChoice == SERVICE_UNCONFIRMED_WHO_IS ||
                   header.serviceChoice == Codec::WhoHas::_SERVICE;
        case Apdu::CONFIRMED_REQUEST:
            return header.serviceChoice != Codec::COVNotification::_CONFIRMED_SERVICE;
        case Apdu::SEGMENT_ACK:
            return true;
        case Apdu::ABORT:
            return !header.server;
        default:
            return false;
    }
}

}  // namespace Orvik::BACnet::Client::IP
