#pragma once

#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"

#include <string>

namespace Orvik::BACnet::Client::IP
{

/// Where a BACnet station is reached on BACnet/IP: the B/IP endpoint that datagrams go to (the
/// station itself, or the router in front of it) and the station's BACnet address (network 0 and the
/// endpoint as MAC on the local network; network number and MAC behind a router).
class PeerAddress
{
public:
    PeerAddress() = default;
    /// A station on the local network.
    explicit PeerAddress(const Codec::Bvll::Endpoint& endpoint);
    /// A station behind the router at `router`; network 0 in `address` means the router's own network,
    /// that is the station at `router` itself.
    PeerAddress(const Codec::Bvll::Endpoint& router, const DataType::BACnetAddress& address);

    const Codec::Bvll::Endpoint& via() const { return _via; }
    const DataType::BACnetAddress& address() const { return _address; }
    bool isRouted() const { return _address.getNetworkNumber() != 0; }

    /// "192.168.1.10:47808", or "5/0a via 192.168.1.1:47808" behind a router.
    std::string toString() const;

    bool operator==(const PeerAddress& other) const
    {
        return _via == other._via && _address == other._address;
    }
    bool operator!=(const PeerAddress& other) const { return !(*this == other); }
    bool operator<(const PeerAddress& other) const;

private:
    Codec::Bvll::Endpoint _via;
    DataType::BACnetAddress _address;
};

}  // namespace Orvik::BACnet::Client::IP
