#include "ClientTransport.h"

#include "BvllLink.h"
#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/WhoIs.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"

#include <Poco/Exception.h>
#include <Poco/Logger.h>

#include <algorithm>

namespace Orvik::BACnet::Client::IP
{

namespace
{

using Codec::Apdu;
using Codec::Npdu;

const DataError OWN_DEVICE_ERROR(ERROR_CLASS_SERVICES, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED);
const Poco::UInt32 MAX_APDU = Apdu::_MAX_APDU_IP;
const Poco::UInt32 MIN_APDU = 50;
/// Until an I-Am tells: what a field bus behind a router takes at most.
const Poco::UInt32 ROUTED_MAX_APDU = 480;

Poco::Logger& logger()
{
    return Poco::Logger::get("BACnetIP");
}

}  // namespace

ClientTransport::ClientTransport(const BACnetIPNetwork::Settings& settings, Clock& clock)
    : _settings(settings),
      _pLink(std::make_unique<BvllLink>(settings, clock)),
      _bindings(settings.maxDevices, logger()),
      _sender(*_pLink, _bindings),
      _timers("BACnetIP timers", _mutex, clock, [this] { return runTimers(); }),
      _transactions(_settings, clock, _bindings, _sender, _timers),
      _router(_bindings, _transactions),
      _notifications(_sender)
{
    for (const BACnetIPNetwork::StaticBinding& staticBinding : settings.staticBindings)
        addStatic(staticBinding);
    // A local address that cannot be had is the owner's error at once, not the client worker's later.
    _pLink->bind();
}

ClientTransport::~ClientTransport()
{
    close();
}

void ClientTransport::addStatic(const BACnetIPNetwork::StaticBinding& staticBinding)
{
    BindingTable::Binding binding;
    const Codec::Bvll::Endpoint endpoint = Device::IP::BvllEndpoint::of(staticBinding.address);
    binding.peer = staticBinding.remote.isBroadcast() ? PeerAddress(endpoint)
                                                      : PeerAddress(endpoint, staticBinding.remote);
    binding.maxApdu =
        std::clamp(staticBinding.maxApdu.value_or(binding.peer.isRouted() ? ROUTED_MAX_APDU : MAX_APDU),
                   MIN_APDU, MAX_APDU);
    _bindings.addStatic(staticBinding.deviceInstance, binding);
}

// ---- open and close ------------------------------------------------------------------------------------

void ClientTransport::open(NetworkListener& listener)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pListener != nullptr)
            throw Poco::IllegalStateException("The BACnet/IP network is open already");
        _pLink->open([this](const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu)
                     { receive(source, npdu); },
                     [this] { handOverAnswers(); }, [this] { _timers.kick(); });
        _pListener = &listener;
        _answers.open(listener);
        _transactions.open(_answers);
        _stopping = false;
    }
    _timers.start();
}

void ClientTransport::close()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pListener == nullptr)
            return;
        _stopping = true;
    }
    _timers.stop();
    _pLink->close();
    std::lock_guard<std::mutex> lock(_mutex);
    _transactions.clear();
    _answers.release();
    _pListener = nullptr;
}

void ClientTransport::sendDatagram(const Poco::Net::SocketAddress& destination, const Codec::Octets& datagram)
{
    _pLink->sendDatagram(destination, datagram);
}

Poco::Net::SocketAddress ClientTransport::localAddress() const
{
    return _pLink->localAddress();
}

Poco::Net::SocketAddress ClientTransport::broadcastAddress() const
{
    return _pLink->broadcastAddress();
}

// ---- from the client worker ------------------------------------------------------------------------------

void ClientTransport::sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                                Poco::UInt32 highLimit)
{
    Apdu::Header header;
    header.type = Apdu::UNCONFIRMED_REQUEST;
    header.serviceChoice = Codec::WhoIs::_SERVICE;
    const Codec::Octets apdu = Apdu::encode(header, Codec::WhoIs::range(lowLimit, highLimit).encode());
    std::lock_guard<std::mutex> lock(_mutex);
    requireOpen();
    if (destination.isBroadcast() || destination.getNetworkNumber() != 0)
        _sender.broadcast(destination, apdu);
    else
        _sender.sendTo(PeerAddress(Codec::Bvll::Endpoint::fromAddress(destination)), apdu, false);
}

void ClientTransport::start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest)
{
    std::lock_guard<std::mutex> lock(_mutex);
    requireOpen();
    if (_settings.ownDeviceInstance && pRequest->deviceInstance() == *_settings.ownDeviceInstance)
    {
        // Served by the gateway itself, not over the network (Network.h: a send may answer at once).
        _pListener->onReply(transactionId, NetworkReply(OWN_DEVICE_ERROR));
        return;
    }
    _transactions.start(transactionId, std::move(pRequest));
}

void ClientTransport::endTransaction(Poco::UInt32 transactionId)
{
    std::lock_guard<std::mutex> lock(_mutex);
    _transactions.end(transactionId);
}

void ClientTransport::requireOpen() const
{
    if (_pListener == nullptr)
        throw Poco::IllegalStateException("The BACnet/IP network is not open");
}

// ---- receiving (on the receive thread) -------------------------------------------------------------------

void ClientTransport::receive(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npduOctets)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_stopping || _pListener == nullptr)
        return;
    _answers.hold();
    receiveNpdu(source, npduOctets);
}

void ClientTransport::handOverAnswers()
{
    AnswerHandOver::Answers answers;
    NetworkListener* pListener = nullptr;
    {
        std::lock_guard<std::mutex> lock(_mutex);
        answers = _answers.release();
        pListener = _pListener;
    }
    // close() waits for the receive thread, so the listener is still there.
    if (pListener != nullptr)
        AnswerHandOver::handOver(*pListener, std::move(answers));
}

void ClientTransport::receiveNpdu(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npduOctets)
{
    try
    {
        const Npdu::Message npdu = Npdu::decode(npduOctets);
        if (_router.receive(source, npdu))
            receiveApdu(source, npdu);
    }
    catch (const Poco::Exception& e)
    {
        // Not readable (Codec::DecodeError), or a reply that could not be sent: the datagram is dropped.
        logger().debug("BACnet/IP: datagram from " + PeerAddress(source).toString() +
                       " dropped: " + e.displayText());
    }
}

void ClientTransport::receiveApdu(const Codec::Bvll::Endpoint& source, const Npdu::Message& npdu)
{
    const Apdu::Message apdu = Apdu::decode(npdu.payload);
    if (_server.takeRequest(source, npdu, apdu))
        return;
    const PeerAddress peer =
        npdu.header.hasSource ? PeerAddress(source, npdu.header.source) : PeerAddress(source);
    switch (apdu.header.type)
    {
        case Apdu::UNCONFIRMED_REQUEST:
            if (apdu.header.serviceChoice == Codec::IAm::_SERVICE)
                return receiveIAm(peer, apdu.serviceData);
            [[fallthrough]];
        case Apdu::CONFIRMED_REQUEST:
            if (const std::optional<DataResponseCOV> notification = _notifications.receive(peer, apdu))
                _pListener->onCOVNotification(*notification);
            return;
        case Apdu::SEGMENT_ACK:
            return;  // requests are never sent in segments
        default:
            if (!_transactions.receiveAnswer(peer, apdu))
                _server.takeUnmatched(source, npdu);  // perhaps the server's COV notification's
            return;
    }
}

void ClientTransport::receiveIAm(const PeerAddress& peer, const Codec::OctetView& serviceData)
{
    const Codec::IAm iAm = Codec::IAm::decode(serviceData);
    const Poco::UInt32 instance = iAm.deviceIdentifier.getInstance();
    if (_settings.ownDeviceInstance && instance == *_settings.ownDeviceInstance)
        return;  // the station's own answer to its broadcast, or another device with its instance

    BindingTable::Binding binding;
    binding.peer = peer;
    binding.maxApdu = std::clamp<Poco::UInt32>(iAm.maxApduLengthAccepted, MIN_APDU, MAX_APDU);
    binding.segmentation = iAm.segmentation;
    binding.vendorId = iAm.vendorId;
    _transactions.bound(instance, _bindings.learn(instance, binding));
    _pListener->onIAm(
        DataResponseWhoIs(instance, iAm.vendorId, peer.address(), binding.maxApdu, iAm.segmentation));
}

Poco::Int64 ClientTransport::runTimers()
{
    const Poco::Int64 transactions = _transactions.expire();
    _pLink->renewRegistration();
    const Poco::Int64 registration = _pLink->millisecondsToRegistration();
    if (transactions < 0 || registration < 0)
        return std::max(transactions, registration);
    return std::min(transactions, registration);
}

}  // namespace Orvik::BACnet::Client::IP
