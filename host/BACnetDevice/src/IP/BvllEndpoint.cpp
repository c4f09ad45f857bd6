#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"

#include <Poco/Exception.h>
#include <Poco/Net/IPAddress.h>

#include <netinet/in.h>
#include <cstring>

namespace Orvik::BACnet::Device::IP
{

Codec::Bvll::Endpoint BvllEndpoint::of(const Poco::Net::SocketAddress& address)
{
    if (address.family() != Poco::Net::AddressFamily::IPv4)
        throw Poco::InvalidArgumentException("BACnet/IP needs an IPv4 address: " + address.toString());
    Codec::Bvll::Endpoint endpoint;
    std::memcpy(endpoint.address.data(), address.host().addr(), endpoint.address.size());
    endpoint.port = address.port();
    return endpoint;
}

Poco::Net::SocketAddress BvllEndpoint::socketAddressOf(const Codec::Bvll::Endpoint& endpoint)
{
    in_addr raw{};
    std::memcpy(&raw, endpoint.address.data(), endpoint.address.size());
    return Poco::Net::SocketAddress(Poco::Net::IPAddress(&raw, sizeof(raw)), endpoint.port);
}

}  // namespace Orvik::BACnet::Device::IP
