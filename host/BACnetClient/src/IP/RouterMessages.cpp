#include "RouterMessages.h"

#include "ClientTransactions.h"
#include "Orvik_BACnet/Codec/ServiceError.h"

namespace Orvik::BACnet::Client::IP
{

using Codec::Npdu;

bool RouterMessages::receive(const Codec::Bvll::Endpoint& source, const Npdu::Message& npdu)
{
    if (npdu.header.hasDestination && !npdu.header.destination.isGlobalBroadcast())
        return false;
    if (npdu.header.hasSource)
        _bindings.learnRoute(npdu.header.source.getNetworkNumber(), source);
    if (!npdu.header.isNetworkMessage)
        return true;
    receiveNetworkMessage(source, npdu);
    return false;
}

void RouterMessages::receiveNetworkMessage(const Codec::Bvll::Endpoint& source, const Npdu::Message& npdu)
{
    const Npdu::NetworkMessage message = Npdu::decodeNetworkMessage(npdu);
    if (message.type == Npdu::I_AM_ROUTER_TO_NETWORK)
    {
        for (Poco::UInt16 network : message.networks)
            _bindings.learnRoute(network, source);
    }
    else if (message.type == Npdu::REJECT_MESSAGE_TO_NETWORK && message.hasNetwork)
    {
        _bindings.routeFailed(message.network, source);
        _transactions.endRequestsVia(source, message.network,
                                     Codec::ServiceError::fromNetworkReject(message.rejectReason));
    }
}

}  // namespace Orvik::BACnet::Client::IP
