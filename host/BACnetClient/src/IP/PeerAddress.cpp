#include "PeerAddress.h"

#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"

#include <tuple>

namespace Orvik::BACnet::Client::IP
{

PeerAddress::PeerAddress(const Codec::Bvll::Endpoint& endpoint)
    : _via(endpoint), _address(endpoint.toAddress())
{
}

PeerAddress::PeerAddress(const Codec::Bvll::Endpoint& router, const DataType::BACnetAddress& address)
    : _via(router), _address(address.getNetworkNumber() == 0 ? router.toAddress() : address)
{
}

std::string PeerAddress::toString() const
{
    const std::string via = Device::IP::BvllEndpoint::socketAddressOf(_via).toString();
    if (!isRouted())
        return via;
    std::string text;
    return _address.getString(text, false) + " via " + via;
}

bool PeerAddress::operator<(const PeerAddress& other) const
{
    const auto key = [](const PeerAddress& peer)
    {
        return std::make_tuple(
            peer._via.address, peer._via.port, peer._address.getNetworkNumber(),
            std::string(reinterpret_cast<const char*>(peer._address.getMAC()), peer._address.getMACLength()));
    };
    return key(*this) < key(other);
}

}  // namespace Orvik::BACnet::Client::IP
