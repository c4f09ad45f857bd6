#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"

#include <Poco/Exception.h>
#include <Poco/Net/SocketAddress.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::Codec;

TEST(BvllEndpointTest, AnIPv4AddressGoesBothWaysAndAnIPv6OneIsRefused)
{
    const Poco::Net::SocketAddress address("192.168.1.10", 47808);
    const Bvll::Endpoint endpoint = Device::IP::BvllEndpoint::of(address);
    EXPECT_EQ(endpoint.address, (std::array<std::uint8_t, 4>{192, 168, 1, 10}));
    EXPECT_EQ(endpoint.port, 47808);
    EXPECT_EQ(Device::IP::BvllEndpoint::socketAddressOf(endpoint), address);
    EXPECT_THROW(Device::IP::BvllEndpoint::of(Poco::Net::SocketAddress("[::1]:47808")),
                 Poco::InvalidArgumentException);
}
