#pragma once

#include "codec/Packet.h"

#include <Poco/Exception.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/Net/SocketAddress.h>

#include <array>
#include <optional>
#include <string>

namespace Orvik::BACnet::Client::Test
{

/// A BACnet/IP station played by a test: a UDP socket of its own on a free loopback port. It sends the
/// octets the test gives it and hands over what it receives, decoded through every layer (Packet), so
/// that a test can be the device, the router or the BBMD of a network under test, and send it anything.
class UdpPeer
{
public:
    explicit UdpPeer(const std::string& host = "127.0.0.1") : _socket(Poco::Net::SocketAddress(host, 0)) {}

    Poco::Net::SocketAddress address() const { return _socket.address(); }

    void send(const Codec::Octets& datagram, const Poco::Net::SocketAddress& to)
    {
        _socket.sendTo(datagram.data(), static_cast<int>(datagram.size()), to);
    }

    /// The next datagram within `timeoutMs` (real time); throws Poco::TimeoutException without one.
    Codec::Test::Packet receive(long timeoutMs = 5000)
    {
        Poco::Net::SocketAddress sender;
        return Codec::Test::Packet::decode(receiveOctets(sender, timeoutMs));
    }

    /// True when a datagram arrives within `timeoutMs`; it is taken and dropped.
    bool receivesAny(long timeoutMs) { return tryReceiveOctets(timeoutMs).has_value(); }

    /// The next datagram within `timeoutMs` and its sender; throws Poco::TimeoutException without one.
    Codec::Octets receiveOctets(Poco::Net::SocketAddress& sender, long timeoutMs)
    {
        if (std::optional<Codec::Octets> octets = tryReceiveOctets(timeoutMs, &sender))
            return *octets;
        throw Poco::TimeoutException("No datagram at " + address().toString());
    }

    /// The next datagram within `timeoutMs`; none without one.
    std::optional<Codec::Octets> tryReceiveOctets(long timeoutMs, Poco::Net::SocketAddress* pSender = nullptr)
    {
        if (!_socket.poll(Poco::Timespan(timeoutMs * 1000), Poco::Net::Socket::SELECT_READ))
            return std::nullopt;
        std::array<std::uint8_t, 2048> buffer;
        Poco::Net::SocketAddress sender;
        const int size =
            _socket.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), pSender ? *pSender : sender);
        return Codec::Octets(buffer.begin(), buffer.begin() + size);
    }

private:
    Poco::Net::DatagramSocket _socket;
};

}  // namespace Orvik::BACnet::Client::Test
