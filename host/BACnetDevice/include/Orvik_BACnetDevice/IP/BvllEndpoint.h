#pragma once

#include "Orvik_BACnet/Codec/Bvll.h"

#include <Poco/Net/SocketAddress.h>

namespace Orvik::BACnet::Device::IP
{

/// The one conversion between a socket address and a BVLL endpoint (IPv4 address and port), for the
/// client and the server alike. BACnet/IP has no IPv6 form: an IPv6 address is refused with
/// Poco::InvalidArgumentException rather than sent on as a wrong endpoint.
class BvllEndpoint
{
public:
    static Codec::Bvll::Endpoint of(const Poco::Net::SocketAddress& address);
    static Poco::Net::SocketAddress socketAddressOf(const Codec::Bvll::Endpoint& endpoint);
};

}  // namespace Orvik::BACnet::Device::IP
