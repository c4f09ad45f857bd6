#pragma once

#include "BindingTable.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "PeerAddress.h"

namespace Orvik::BACnet::Client::IP
{

class ClientTransactions;

/// The network layer as a client station (not a router) takes part in it: NPDUs on their way to another
/// network are not for the station; a source network, and I-Am-Router-To-Network, teach the router in
/// front of a network; Reject-Message-To-Network fails that route and ends the requests sent through it
/// to the network with the router's reason. Every other network layer message is for routers.
///
/// Not thread-safe: the transport calls it under its lock.
class RouterMessages
{
public:
    RouterMessages(BindingTable& bindings, ClientTransactions& transactions)
        : _bindings(bindings), _transactions(transactions)
    {
    }

    /// An NPDU from `source`; true when it carries an APDU for this station.
    bool receive(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu);

private:
    void receiveNetworkMessage(const Codec::Bvll::Endpoint& source, const Codec::Npdu::Message& npdu);

    BindingTable& _bindings;
    ClientTransactions& _transactions;
};

}  // namespace Orvik::BACnet::Client::IP
