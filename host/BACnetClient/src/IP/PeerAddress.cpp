#include "PeerAddress.h"

#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>

#include <netinet/in.h>
#include <cstring>
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
    const std::string via = socketAddressOf(_via).toString();
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

Codec::Bvll::Endpoint PeerAddress::endpointOf(const Poco::Net::SocketAddress& address)
{
    if (address.family() != Poco::Net::AddressFamily::IPv4)
        throw Poco::InvalidArgumentException("BACnet/IP needs an IPv4 address: " + address.toString());
    Codec::Bvll::Endpoint endpoint;
    std::memcpy(endpoint.address.data(), address.host().addr(), endpoint.address.size());
    endpoint.port = address.port();
    return endpoint;
}

Poco::Net::SocketAddress PeerAddress::socketAddressOf(const Codec::Bvll::Endpoint& endpoint)
{
    in_addr raw{};
    std::memcpy(&raw, endpoint.address.data(), endpoint.address.size());
    return Poco::Net::SocketAddress(Poco::Net::IPAddress(&raw, sizeof(raw)), endpoint.port);
}

}  // namespace Orvik::BACnet::Client::IP
