#pragma once

#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/Codec/Bvll.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include <Poco/Net/DatagramSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Thread.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace Orvik::BACnet::Client::IP
{

/// The BACnet/IP virtual link: the UDP socket, its receive thread, the BVLL header of every datagram,
/// and the registration as a foreign device with a BBMD.
///
///   - Received: Original-Unicast-NPDU and Original-Broadcast-NPDU are handed on with the sender as
///     source, Forwarded-NPDU with the original source it carries (replies go there, not to the BBMD
///     that forwarded it). A BVLC-Result from the BBMD updates the registration. The BBMD functions that
///     only a BBMD serves are refused with their NAK result; anything else, and anything that cannot be
///     read, is dropped.
///   - Sent: unicasts as Original-Unicast-NPDU; broadcasts as Original-Broadcast-NPDU to the broadcast
///     address, or, while registered as a foreign device, as Distribute-Broadcast-To-Network to the BBMD.
///   - Registration: Register-Foreign-Device at open, again at half the time-to-live after each success,
///     and every few seconds while no success has come (the owner calls renewRegistration() when
///     millisecondsToRegistration() has passed). A NAK is logged; a lapsed registration falls back to
///     local broadcasts.
///   - With a local address of one interface, broadcasts to that interface's subnet are received on a
///     second socket bound to its broadcast address (a socket bound to a unicast address does not get
///     them).
///
/// The receiver is called on the receive thread, one datagram at a time; what it or the socket throws
/// there is logged as an error (logger "BACnetIP", naming the datagram's sender) and receiving goes
/// on. The send functions may be called from any thread and throw Poco::Exception when the socket
/// refuses the datagram.
class BvllLink
{
public:
    /// An NPDU that arrived from `source`; the octets are valid during the call only.
    using Receiver = std::function<void(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu)>;
    /// No datagram waits any more: what the ones received since the last call brought can be handed on.
    using Drained = std::function<void()>;
    /// The registration's due time moved earlier (the owner's timer wait must end).
    using Kick = std::function<void()>;

    /// The shortest wait before a registration that had no answer is sent again.
    static constexpr Poco::Int64 _REGISTRATION_RETRY_MS = 5000;

    BvllLink(const BACnetIPNetwork::Settings& settings, Clock& clock);
    ~BvllLink();

    /// Binds the socket(s), unless bound; throws Poco::Net::NetException when the address cannot be
    /// bound, Poco::InvalidArgumentException when no interface has the local address.
    void bind();
    /// Binds (see bind()) and starts receiving.
    void open(Receiver receiver, Drained drained, Kick kick);
    /// Stops the receive thread and closes the socket; the receiver is not called after it returns.
    void close();

    Poco::Net::SocketAddress localAddress() const;
    Poco::Net::SocketAddress broadcastAddress() const { return _broadcast; }

    void sendUnicast(const Codec::Bvll::Endpoint& destination, const Codec::OctetView& npdu);
    void sendBroadcast(const Codec::OctetView& npdu);
    /// A whole datagram, BVLL header included, as a server of the same station makes it.
    void sendDatagram(const Poco::Net::SocketAddress& destination, const Codec::Octets& datagram);

    /// -1 without BBMD.
    Poco::Int64 millisecondsToRegistration() const;
    void renewRegistration();
    bool isRegistered() const;

private:
    Poco::Net::SocketAddress interfaceBroadcast() const;
    void receiveLoop();
    /// Receives the socket's datagrams until none is waiting.
    void receiveWaiting(Poco::Net::DatagramSocket& socket);
    void receiveFrom(Poco::Net::DatagramSocket& socket);
    void receiveDatagram(const Poco::Net::SocketAddress& sender, const Codec::OctetView& datagram);
    void takeResult(std::uint16_t result);
    void refuse(const Codec::Bvll::Endpoint& sender, std::uint16_t nak);
    void send(const Codec::Bvll::Message& message, const Poco::Net::SocketAddress& destination);
    void sendRegistration();

    const BACnetIPNetwork::Settings _settings;
    Clock& _clock;
    Poco::Net::DatagramSocket _socket;
    std::unique_ptr<Poco::Net::DatagramSocket> _pBroadcastSocket;
    Poco::Net::SocketAddress _broadcast;
    std::optional<Codec::Bvll::Endpoint> _bbmd;
    Receiver _receiver;
    Drained _drained;
    Kick _kick;
    Poco::Thread _thread;
    std::atomic<bool> _stopping{false};
    bool _bound = false;

    mutable std::mutex _registrationMutex;
    Poco::Int64 _registeredUntil = 0;
    Poco::Int64 _nextRegistration = 0;
};

}  // namespace Orvik::BACnet::Client::IP
