#include "BvllLink.h"

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"
#include "PeerAddress.h"

#include <Poco/Exception.h>
#include <Poco/Logger.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/NetworkInterface.h>

#include <algorithm>
#include <array>

namespace Orvik::BACnet::Client::IP
{

namespace
{

using Codec::Bvll;

const Poco::Timespan RECEIVE_POLL(0, 100000);
const int RECEIVE_BUFFER_OCTETS = 256 * 1024;

Poco::Logger& logger()
{
    return Poco::Logger::get("BACnetIP");
}

/// The NAK that a station that is no BBMD answers to a BBMD function.
std::optional<std::uint16_t> nakFor(Bvll::Function function)
{
    switch (function)
    {
        case Bvll::WRITE_BROADCAST_DISTRIBUTION_TABLE:
            return Bvll::WRITE_BROADCAST_DISTRIBUTION_TABLE_NAK;
        case Bvll::READ_BROADCAST_DISTRIBUTION_TABLE:
            return Bvll::READ_BROADCAST_DISTRIBUTION_TABLE_NAK;
        case Bvll::REGISTER_FOREIGN_DEVICE:
            return Bvll::REGISTER_FOREIGN_DEVICE_NAK;
        case Bvll::READ_FOREIGN_DEVICE_TABLE:
            return Bvll::READ_FOREIGN_DEVICE_TABLE_NAK;
        case Bvll::DELETE_FOREIGN_DEVICE_TABLE_ENTRY:
            return Bvll::DELETE_FOREIGN_DEVICE_TABLE_ENTRY_NAK;
        case Bvll::DISTRIBUTE_BROADCAST_TO_NETWORK:
            return Bvll::DISTRIBUTE_BROADCAST_TO_NETWORK_NAK;
        default:
            return std::nullopt;
    }
}

}  // namespace

BvllLink::BvllLink(const BACnetIPNetwork::Settings& settings, Clock& clock)
    : _settings(settings), _clock(clock), _socket(Poco::Net::SocketAddress::IPv4), _thread("BACnetIP receive")
{
    if (_settings.bbmd)
        _bbmd = Device::IP::BvllEndpoint::of(*_settings.bbmd);
}

BvllLink::~BvllLink()
{
    close();
}

void BvllLink::open(Receiver receiver, Drained drained, Kick kick)
{
    _receiver = std::move(receiver);
    _drained = std::move(drained);
    _kick = std::move(kick);
    bind();
    _stopping = false;
    _thread.startFunc([this] { receiveLoop(); });
    if (_bbmd)
    {
        std::lock_guard<std::mutex> lock(_registrationMutex);
        sendRegistration();
    }
}

void BvllLink::close()
{
    if (_thread.isRunning())
    {
        _stopping = true;
        _thread.join();
    }
    if (!_bound)
        return;
    _socket.close();
    if (_pBroadcastSocket)
        _pBroadcastSocket->close();
    _pBroadcastSocket.reset();
    _bound = false;
}

Poco::Net::SocketAddress BvllLink::localAddress() const
{
    return _socket.address();
}

void BvllLink::bind()
{
    if (_bound)
        return;
    Device::IP::BvllEndpoint::of(_settings.local);  // IPv4 only
    _broadcast = _settings.broadcast ? *_settings.broadcast : interfaceBroadcast();
    _socket = Poco::Net::DatagramSocket(Poco::Net::SocketAddress::IPv4);
    try
    {
        _socket.bind(_settings.local, false);
        _socket.setBroadcast(true);
        _socket.setReceiveBufferSize(RECEIVE_BUFFER_OCTETS);
    }
    catch (const Poco::Exception& e)
    {
        throw Poco::Net::NetException("BACnet/IP cannot use the local address " + _settings.local.toString(),
                                      e.message());
    }
    _bound = true;
    const Poco::Net::IPAddress& host = _settings.local.host();
    if (_settings.broadcast || host.isWildcard() || host.isLoopback())
        return;
    // Broadcasts on the interface's subnet reach only a socket bound to the broadcast address.
    _broadcast = Poco::Net::SocketAddress(_broadcast.host(), _socket.address().port());
    try
    {
        _pBroadcastSocket = std::make_unique<Poco::Net::DatagramSocket>(Poco::Net::SocketAddress::IPv4);
        _pBroadcastSocket->bind(_broadcast, false);
    }
    catch (const Poco::Exception& e)
    {
        _pBroadcastSocket.reset();
        logger().warning("BACnet/IP: broadcasts to " + _broadcast.toString() +
                         " are not received (I-Ams sent as broadcasts are missed): " + e.displayText());
    }
}

Poco::Net::SocketAddress BvllLink::interfaceBroadcast() const
{
    const Poco::Net::IPAddress& host = _settings.local.host();
    if (host.isWildcard())
        return Poco::Net::SocketAddress(Poco::Net::IPAddress::broadcast(), _settings.local.port());
    for (const Poco::Net::NetworkInterface& networkInterface : Poco::Net::NetworkInterface::list())
    {
        for (const auto& address : networkInterface.addressList())
        {
            if (address.get<Poco::Net::NetworkInterface::IP_ADDRESS>() != host)
                continue;
            const Poco::Net::IPAddress& broadcast =
                address.get<Poco::Net::NetworkInterface::BROADCAST_ADDRESS>();
            return Poco::Net::SocketAddress(
                broadcast.isWildcard() ? Poco::Net::IPAddress::broadcast() : broadcast,
                _settings.local.port());
        }
    }
    throw Poco::InvalidArgumentException("No network interface has the address " + host.toString());
}

// ---- sending -------------------------------------------------------------------------------------------

void BvllLink::sendUnicast(const Bvll::Endpoint& destination, const Codec::OctetView& npdu)
{
    Bvll::Message message;
    message.function = Bvll::ORIGINAL_UNICAST_NPDU;
    message.payload = npdu;
    send(message, Device::IP::BvllEndpoint::socketAddressOf(destination));
}

void BvllLink::sendBroadcast(const Codec::OctetView& npdu)
{
    Bvll::Message message;
    message.payload = npdu;
    if (_bbmd && isRegistered())
    {
        message.function = Bvll::DISTRIBUTE_BROADCAST_TO_NETWORK;
        send(message, *_settings.bbmd);
        return;
    }
    message.function = Bvll::ORIGINAL_BROADCAST_NPDU;
    send(message, _broadcast);
}

void BvllLink::send(const Bvll::Message& message, const Poco::Net::SocketAddress& destination)
{
    sendDatagram(destination, Bvll::encode(message));
}

void BvllLink::sendDatagram(const Poco::Net::SocketAddress& destination, const Codec::Octets& datagram)
{
    _socket.sendTo(datagram.data(), static_cast<int>(datagram.size()), destination);
}

// ---- foreign-device registration -------------------------------------------------------------------------

Poco::Int64 BvllLink::millisecondsToRegistration() const
{
    if (!_bbmd)
        return -1;
    std::lock_guard<std::mutex> lock(_registrationMutex);
    return std::max<Poco::Int64>(0, _nextRegistration - _clock.milliseconds());
}

void BvllLink::renewRegistration()
{
    if (!_bbmd)
        return;
    std::lock_guard<std::mutex> lock(_registrationMutex);
    if (_nextRegistration <= _clock.milliseconds())
        sendRegistration();
}

bool BvllLink::isRegistered() const
{
    std::lock_guard<std::mutex> lock(_registrationMutex);
    return _registeredUntil > _clock.milliseconds();
}

void BvllLink::sendRegistration()
{
    const Poco::Int64 halfLife = _settings.bbmdTimeToLiveSeconds * 500LL;
    _nextRegistration = _clock.milliseconds() + std::min(halfLife, _REGISTRATION_RETRY_MS);
    Bvll::Message message;
    message.function = Bvll::REGISTER_FOREIGN_DEVICE;
    message.timeToLive = _settings.bbmdTimeToLiveSeconds;
    try
    {
        send(message, *_settings.bbmd);
    }
    catch (const Poco::Exception& e)
    {
        logger().warning("BACnet/IP: no registration with the BBMD " + _settings.bbmd->toString() + ": " +
                         e.displayText());
    }
}

void BvllLink::takeResult(std::uint16_t result)
{
    bool renewNow = false;
    {
        std::lock_guard<std::mutex> lock(_registrationMutex);
        const Poco::Int64 now = _clock.milliseconds();
        if (result == Bvll::SUCCESSFUL_COMPLETION)
        {
            _registeredUntil = now + _settings.bbmdTimeToLiveSeconds * 1000LL;
            _nextRegistration = now + _settings.bbmdTimeToLiveSeconds * 500LL;
            return;
        }
        _registeredUntil = 0;
        // A BBMD that lost the registration refuses the broadcast: register again at once.
        renewNow = result == Bvll::DISTRIBUTE_BROADCAST_TO_NETWORK_NAK;
        _nextRegistration = renewNow ? now : now + _settings.bbmdTimeToLiveSeconds * 500LL;
    }
    logger().warning("BACnet/IP: the BBMD " + _settings.bbmd->toString() + " refused with result " +
                     std::to_string(result) + "; broadcasts stay on the local network");
    if (renewNow && _kick)
        _kick();
}

// ---- receiving -----------------------------------------------------------------------------------------

void BvllLink::receiveLoop()
{
    while (!_stopping)
    {
        Poco::Net::Socket::SocketList readable{_socket};
        if (_pBroadcastSocket)
            readable.push_back(*_pBroadcastSocket);
        try
        {
            Poco::Net::Socket::SocketList writable;
            Poco::Net::Socket::SocketList failed;
            if (Poco::Net::Socket::select(readable, writable, failed, RECEIVE_POLL) == 0)
                continue;
        }
        catch (const std::exception& e)
        {
            logger().error(std::string("BACnet/IP receive thread, waiting for datagrams: ") + e.what());
            continue;
        }
        for (const Poco::Net::Socket& socket : readable)
            receiveWaiting(socket == _socket ? _socket : *_pBroadcastSocket);
        _drained();
    }
}

void BvllLink::receiveWaiting(Poco::Net::DatagramSocket& socket)
{
    // Answers to requests outstanding together arrive together: taking them all before waiting again
    // saves the thread a wake-up each.
    do
        receiveFrom(socket);
    while (!_stopping && socket.available() > 0);
}

void BvllLink::receiveFrom(Poco::Net::DatagramSocket& socket)
{
    std::array<std::uint8_t, Bvll::_MAX_DATAGRAM + 1> buffer;
    Poco::Net::SocketAddress sender;
    int size = 0;
    try
    {
        size = socket.receiveFrom(buffer.data(), static_cast<int>(buffer.size()), sender);
    }
    catch (const std::exception& e)
    {
        // An ICMP error of an earlier send, or a socket that failed for a moment: receiving goes on.
        const Poco::Net::SocketAddress& address = &socket == &_socket ? _settings.local : _broadcast;
        logger().error("BACnet/IP receive thread, receiving on " + address.toString() + ": " + e.what());
        return;
    }
    if (size <= 0 || static_cast<std::size_t>(size) > Bvll::_MAX_DATAGRAM ||
        sender.family() != Poco::Net::SocketAddress::IPv4)
        return;  // larger than any BACnet/IP datagram: cut short by the buffer, not readable
    try
    {
        receiveDatagram(sender, Codec::OctetView(buffer.data(), static_cast<std::size_t>(size)));
    }
    catch (const std::exception& e)
    {
        logger().error("BACnet/IP receive thread, handling a datagram of " + std::to_string(size) +
                       " octets from " + sender.toString() + " (dropped): " + e.what());
    }
}

void BvllLink::receiveDatagram(const Poco::Net::SocketAddress& sender, const Codec::OctetView& datagram)
{
    Bvll::Message message;
    try
    {
        message = Bvll::decode(datagram);
    }
    catch (const Codec::DecodeError&)
    {
        return;
    }
    const Bvll::Endpoint source = Device::IP::BvllEndpoint::of(sender);
    switch (message.function)
    {
        case Bvll::ORIGINAL_UNICAST_NPDU:
        case Bvll::ORIGINAL_BROADCAST_NPDU:
            _receiver(source, message.payload);
            return;
        case Bvll::FORWARDED_NPDU:
            _receiver(message.originalSource, message.payload);
            return;
        case Bvll::BVLC_RESULT:
            if (_bbmd && source == *_bbmd)
                takeResult(message.result);
            return;
        default:
            if (const std::optional<std::uint16_t> nak = nakFor(message.function))
                refuse(source, *nak);
            return;
    }
}

void BvllLink::refuse(const Bvll::Endpoint& sender, std::uint16_t nak)
{
    Bvll::Message message;
    message.function = Bvll::BVLC_RESULT;
    message.result = nak;
    send(message, Device::IP::BvllEndpoint::socketAddressOf(sender));
}

}  // namespace Orvik::BACnet::Client::IP
