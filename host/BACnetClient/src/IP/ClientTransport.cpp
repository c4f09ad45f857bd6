#include "ClientTransport.h"

#include "BvllLink.h"
#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/IAm.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/Codec/WhoHas.h"
#include "Orvik_BACnet/Codec/WhoIs.h"
#include "Orvik_BACnetDevice/IP/BvllEndpoint.h"
#include "RecordConversion.h"

#include <Poco/Exception.h>
#include <Poco/Logger.h>

#include <algorithm>
#include <chrono>
#include <vector>

namespace Orvik::BACnet::Client::IP
{

namespace
{

using Codec::Apdu;
using Codec::Npdu;

const DataError OWN_DEVICE_ERROR(ERROR_CLASS_SERVICES, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED);
const DataError TOO_LONG_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APDU_TOO_LONG);
const DataError NOT_REOPENED_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER);
const Poco::UInt32 MAX_APDU = Apdu::_MAX_APDU_IP;
const Poco::UInt32 MIN_APDU = 50;
/// Until an I-Am tells: what a field bus behind a router takes at most.
const Poco::UInt32 ROUTED_MAX_APDU = 480;

DataError rejectError(std::uint8_t reason)
{
    return DataError(ERROR_CLASS_REJECT, Codec::ServiceError::fromReject(reason).errorCode);
}

DataError abortError(std::uint8_t reason)
{
    return DataError(ERROR_CLASS_ABORT, Codec::ServiceError::fromAbort(reason).errorCode);
}

bool transmitsSegments(BACNET_SEGMENTATION segmentation)
{
    return segmentation == SEGMENTATION_SEGMENTED_BOTH || segmentation == SEGMENTATION_SEGMENTED_TRANSMIT;
}

Poco::Logger& logger()
{
    return Poco::Logger::get("BACnetIP");
}

}  // namespace

ClientTransport::ClientTransport(const BACnetIPNetwork::Settings& settings, Clock& clock)
    : _settings(settings),
      _clock(clock),
      _pLink(std::make_unique<BvllLink>(settings, clock)),
      _bindings(settings.maxDevices, logger()),
      _pTransactions(std::make_unique<TransactionTable>(
          settings.transactions, clock, [this](Poco::UInt32 device) { findDevice(device); },
          [this](Poco::UInt32 transactionId, bool waiting)
          { _pListener->onQueueing(transactionId, waiting); })),
      _timerThread("BACnetIP timers")
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
    std::lock_guard<std::mutex> lock(_mutex);
    if (_pListener != nullptr)
        throw Poco::IllegalStateException("The BACnet/IP network is open already");
    _pLink->open([this](const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu)
                 { receive(source, npdu); },
                 [this] { kickTimers(); });
    _pListener = &listener;
    _stopping = false;
    _waker = _clock.addWaker([this] { kickTimers(); });
    _timerThread.startFunc([this] { runTimers(); });
}

void ClientTransport::close()
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pListener == nullptr)
            return;
        _stopping = true;
    }
    kickTimers();
    _timerThread.join();
    _clock.removeWaker(_waker);
    _pLink->close();
    std::lock_guard<std::mutex> lock(_mutex);
    _pTransactions->clear();
    _requests.clear();
    _deferred.clear();
    _reassemblyOctets = 0;
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
    if (_pListener == nullptr)
        throw Poco::IllegalStateException("The BACnet/IP network is not open");
    if (destination.isBroadcast() || destination.getNetworkNumber() != 0)
        broadcast(destination, apdu);
    else
        sendTo(PeerAddress(Codec::Bvll::Endpoint::fromAddress(destination)), apdu, false);
}

void ClientTransport::start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_pListener == nullptr)
        throw Poco::IllegalStateException("The BACnet/IP network is not open");
    if (_settings.ownDeviceInstance && pRequest->deviceInstance() == *_settings.ownDeviceInstance)
    {
        // Served by the gateway itself, not over the network (Network.h: a send may answer at once).
        _pListener->onReply(transactionId, NetworkReply(OWN_DEVICE_ERROR));
        return;
    }
    auto inserted = _requests.emplace(transactionId, OpenRequest(std::move(pRequest)));
    if (!inserted.second)
        throw Poco::ExistsException("Transaction " + std::to_string(transactionId) + " is open already");
    try
    {
        openPart(transactionId, inserted.first->second);
    }
    catch (...)
    {
        _requests.erase(inserted.first);
        throw;
    }
    kickTimers();
}

void ClientTransport::endTransaction(Poco::UInt32 transactionId)
{
    std::lock_guard<std::mutex> lock(_mutex);
    const std::optional<TransactionTable::Ended> ended = _pTransactions->end(transactionId);
    auto it = _requests.find(transactionId);
    if (it == _requests.end())
        return;
    if (ended && ended->receivingSegments)
        sendAbort(it->second, ABORT_REASON_OTHER);
    forget(it);
}

// ---- sending (with _mutex held)
// ----------------------------------------------------------------------------

void ClientTransport::openPart(Poco::UInt32 transactionId, OpenRequest& request)
{
    ++request.part;
    const Poco::UInt32 device = request.pRequest->deviceInstance();
    const BindingTable::Binding* pBinding = _bindings.find(device);
    if (pBinding != nullptr)
        limitOutstanding(device, *pBinding);
    _pTransactions->open(
        transactionId, device,
        [this, transactionId](Poco::UInt8 invokeId) { transmit(transactionId, invokeId); },
        pBinding != nullptr);
}

void ClientTransport::limitOutstanding(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding)
{
    if (!binding.peer.isRouted())
        return _pTransactions->setLimits(deviceInstance, _settings.transactions.maxOutstanding);
    const Poco::UInt16 network = binding.peer.address().getNetworkNumber();
    auto configured = _settings.maxOutstandingOnNetwork.find(network);
    TransactionTable::Link link;
    link.id = network;
    link.maxOutstanding = configured == _settings.maxOutstandingOnNetwork.end()
                              ? _settings.maxOutstandingPerRouterNetwork
                              : configured->second;
    _pTransactions->setLimits(deviceInstance, _settings.maxOutstandingBehindRouter, link);
}

void ClientTransport::transmit(Poco::UInt32 transactionId, Poco::UInt8 invokeId)
{
    auto it = _requests.find(transactionId);
    if (it == _requests.end())
        return;
    OpenRequest& request = it->second;
    ConfirmedRequest& confirmed = *request.pRequest;
    const BindingTable::Binding* pBinding = _bindings.find(confirmed.deviceInstance());
    if (pBinding == nullptr)
        return;  // pushed out of the table meanwhile: lost like a datagram, the retries ask again
    if (!confirmed.fitTo(pBinding->maxApdu, transmitsSegments(pBinding->segmentation)))
    {
        const Poco::UInt32 part = request.part;
        _deferred.push_back([this, transactionId, part] { failOversized(transactionId, part); });
        kickTimers();
        return;
    }
    Apdu::Header header;
    header.type = Apdu::CONFIRMED_REQUEST;
    header.segmentedResponseAccepted = true;
    header.maxSegments = _settings.maxSegments;
    header.maxApdu = static_cast<std::uint16_t>(MAX_APDU);
    header.invokeId = invokeId;
    header.serviceChoice = confirmed.service();
    const Codec::Octets apdu = Apdu::encode(header, confirmed.serviceData());
    request.sent = SentKey(pBinding->peer, invokeId);
    sendTo(pBinding->peer, apdu, true);
}

void ClientTransport::findDevice(Poco::UInt32 deviceInstance)
{
    Apdu::Header header;
    header.type = Apdu::UNCONFIRMED_REQUEST;
    header.serviceChoice = Codec::WhoIs::_SERVICE;
    broadcast(DataType::BACnetAddress(),
              Apdu::encode(header, Codec::WhoIs::range(deviceInstance, deviceInstance).encode()));
}

void ClientTransport::failOversized(Poco::UInt32 transactionId, Poco::UInt32 part)
{
    auto it = _requests.find(transactionId);
    if (it == _requests.end() || it->second.part != part)
        return;
    _pTransactions->end(transactionId);
    forget(it);
    _pListener->onReply(transactionId, NetworkReply(TOO_LONG_ERROR));
}

void ClientTransport::sendTo(const PeerAddress& peer, const Codec::Octets& apdu, bool expectingReply)
{
    Npdu::Header header;
    header.expectingReply = expectingReply;
    if (peer.isRouted())
    {
        header.hasDestination = true;
        header.destination = peer.address();
    }
    _pLink->sendUnicast(peer.via(), Npdu::encode(header, apdu));
}

void ClientTransport::broadcast(const DataType::BACnetAddress& destination, const Codec::Octets& apdu)
{
    Npdu::Header header;
    const Poco::UInt16 network = destination.getNetworkNumber();
    header.hasDestination = network != 0;
    header.destination = destination;
    const Codec::Octets npdu = Npdu::encode(header, apdu);
    // A station or broadcast on a network whose router is known goes to that router.
    const std::optional<Codec::Bvll::Endpoint> router =
        network == 0 || destination.isGlobalBroadcast() ? std::nullopt : _bindings.routerFor(network);
    if (router)
        _pLink->sendUnicast(*router, npdu);
    else
        _pLink->sendBroadcast(npdu);
}

void ClientTransport::sendPdu(const PeerAddress& peer, const Apdu::Header& header)
{
    try
    {
        sendTo(peer, Apdu::encode(header), false);
    }
    catch (const Poco::Exception& e)
    {
        logger().debug("BACnet/IP: no answer to " + peer.toString() + ": " + e.displayText());
    }
}

// ---- receiving (on the receive thread)
// -------------------------------------------------------------------------

void ClientTransport::receive(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npduOctets)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_stopping || _pListener == nullptr)
        return;
    try
    {
        const Npdu::Message npdu = Npdu::decode(npduOctets);
        if (npdu.header.hasDestination && !npdu.header.destination.isGlobalBroadcast())
            return;  // on its way to another network: for a router, not for this station
        if (npdu.header.hasSource)
            _bindings.learnRoute(npdu.header.source.getNetworkNumber(), source);
        const PeerAddress peer =
            npdu.header.hasSource ? PeerAddress(source, npdu.header.source) : PeerAddress(source);
        if (npdu.header.isNetworkMessage)
        {
            receiveNetworkMessage(peer, npdu);
            return;
        }
        const Apdu::Message apdu = Apdu::decode(npdu.payload);
        if (_serveRequest && isForServer(apdu))
            return _serveRequest(source, npduOctets);
        switch (apdu.header.type)
        {
            case Apdu::UNCONFIRMED_REQUEST:
                receiveUnconfirmed(peer, apdu);
                return;
            case Apdu::CONFIRMED_REQUEST:
                receiveConfirmed(peer, apdu);
                return;
            case Apdu::SEGMENT_ACK:
                return;  // requests are never sent in segments
            default:
                if (!receiveAnswer(peer, apdu) && _serveRequest)
                    _serveRequest(source, npduOctets);  // perhaps the server's COV notification's
                return;
        }
    }
    catch (const Poco::Exception& e)
    {
        // Not readable (Codec::DecodeError), or a reply that could not be sent: the datagram is dropped.
        logger().debug("BACnet/IP: datagram from " + PeerAddress(source).toString() +
                       " dropped: " + e.displayText());
    }
}

bool ClientTransport::isForServer(const Apdu::Message& apdu) const
{
    const Apdu::Header& header = apdu.header;
    switch (header.type)
    {
        case Apdu::UNCONFIRMED_REQUEST:
            return header.serviceChoice == SERVICE_UNCONFIRMED_WHO_IS ||
                   header.serviceChoice == Codec::WhoHas::_SERVICE;
        case Apdu::CONFIRMED_REQUEST:
            return header.serviceChoice != Codec::COVNotification::_CONFIRMED_SERVICE;
        case Apdu::SEGMENT_ACK:
            return true;  // the client never sends segments: they acknowledge the server's
        case Apdu::ABORT:
            return !header.server;  // a client stops a transfer of the server
        default:
            return false;
    }
}

void ClientTransport::receiveNetworkMessage(const PeerAddress& peer, const Npdu::Message& npdu)
{
    const Npdu::NetworkMessage message = Npdu::decodeNetworkMessage(npdu);
    if (message.type == Npdu::I_AM_ROUTER_TO_NETWORK)
    {
        for (Poco::UInt16 network : message.networks)
            _bindings.learnRoute(network, peer.via());
    }
    else if (message.type == Npdu::REJECT_MESSAGE_TO_NETWORK && message.hasNetwork)
    {
        _bindings.routeFailed(message.network, peer.via());
        endRequestsVia(peer.via(), message.network,
                       Codec::ServiceError::fromNetworkReject(message.rejectReason));
    }
    // Every other network layer message is for routers.
}

void ClientTransport::receiveUnconfirmed(const PeerAddress& peer, const Apdu::Message& apdu)
{
    if (apdu.header.serviceChoice == Codec::IAm::_SERVICE)
    {
        receiveIAm(peer, apdu.serviceData);
    }
    else if (apdu.header.serviceChoice == Codec::COVNotification::_UNCONFIRMED_SERVICE)
    {
        const Codec::COVNotification notification = Codec::COVNotification::decode(apdu.serviceData);
        _pListener->onCOVNotification(RecordConversion::notificationOf(notification, false));
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
    const BindingTable::Binding& bound = _bindings.learn(instance, binding);
    if (_pTransactions->awaitsAddress(instance))
    {
        // Its requests wait for this: they go out now, within the device's limit.
        limitOutstanding(instance, bound);
        _pTransactions->bind(instance);
    }
    _pListener->onIAm(
        DataResponseWhoIs(instance, iAm.vendorId, peer.address(), binding.maxApdu, iAm.segmentation));
}

void ClientTransport::receiveConfirmed(const PeerAddress& peer, const Apdu::Message& apdu)
{
    Apdu::Header answer;
    answer.invokeId = apdu.header.invokeId;
    answer.server = true;
    if (apdu.header.segmented)
    {
        answer.type = Apdu::ABORT;
        answer.serviceChoice = ABORT_REASON_SEGMENTATION_NOT_SUPPORTED;
        sendPdu(peer, answer);
        return;
    }
    if (apdu.header.serviceChoice != Codec::COVNotification::_CONFIRMED_SERVICE)
    {
        answer.type = Apdu::REJECT;
        answer.serviceChoice = REJECT_REASON_UNRECOGNIZED_SERVICE;
        sendPdu(peer, answer);
        return;
    }
    Codec::COVNotification notification;
    try
    {
        notification = Codec::COVNotification::decode(apdu.serviceData);
    }
    catch (const Codec::DecodeError&)
    {
        answer.type = Apdu::REJECT;
        answer.serviceChoice = REJECT_REASON_OTHER;
        sendPdu(peer, answer);
        return;
    }
    answer.type = Apdu::SIMPLE_ACK;
    answer.serviceChoice = apdu.header.serviceChoice;
    sendPdu(peer, answer);
    _pListener->onCOVNotification(RecordConversion::notificationOf(notification, true));
}

bool ClientTransport::receiveAnswer(const PeerAddress& peer, const Apdu::Message& apdu)
{
    const Apdu::Header& header = apdu.header;
    if (header.type == Apdu::ABORT && !header.server)
        return true;  // aborts a transaction this station serves: there is nothing to stop
    const std::optional<Poco::UInt32> device = _bindings.deviceAt(peer);
    const std::optional<Poco::UInt32> transactionId =
        device ? _pTransactions->find(*device, header.invokeId) : std::nullopt;
    if (!transactionId)
        return false;  // from another address, or an invoke id that is not out
    auto it = _requests.find(*transactionId);
    if (it == _requests.end() || it->second.sent != SentKey(peer, header.invokeId))
        return true;
    OpenRequest& request = it->second;
    ConfirmedRequest& confirmed = *request.pRequest;
    _bindings.answered(confirmed.deviceInstance(), peer);
    const bool ofThisService = header.serviceChoice == confirmed.service();
    DataError error;
    switch (header.type)
    {
        case Apdu::SIMPLE_ACK:
            if (!ofThisService || confirmed.expectsComplexAck() || request.pSegments)
                return true;
            break;
        case Apdu::COMPLEX_ACK:
            if (!ofThisService || !confirmed.expectsComplexAck())
                return true;
            if (header.segmented)
            {
                receiveSegment(it, apdu);
                return true;
            }
            if (request.pSegments)
                return true;
            break;
        case Apdu::ERROR:
            if (!ofThisService)
                return true;
            try
            {
                error = Codec::ServiceError::decode(apdu.serviceData, confirmed.service());
            }
            catch (const Codec::DecodeError& e)
            {
                error = ConfirmedRequest::malformed(e);
            }
            break;
        case Apdu::REJECT:
            error = rejectError(header.serviceChoice);
            break;
        default:
            error = abortError(header.serviceChoice);
            break;
    }
    _pTransactions->complete(confirmed.deviceInstance(), header.invokeId);
    releaseSegments(request);
    const bool isAck = header.type == Apdu::SIMPLE_ACK || header.type == Apdu::COMPLEX_ACK;
    completePart(it, isAck ? confirmed.takeAck(apdu.serviceData) : confirmed.takeError(error));
    return true;
}

void ClientTransport::receiveSegment(Requests::iterator it, const Apdu::Message& apdu)
{
    OpenRequest& request = it->second;
    const Apdu::Header& header = apdu.header;
    if (!request.pSegments)
    {
        if (header.sequenceNumber != 0)
            return;  // a segment of an earlier try's answer
        const std::size_t segments = std::max<std::size_t>(_settings.maxSegments, 1);
        request.pSegments = std::make_unique<SegmentAssembler>(segments, segments * MAX_APDU);
    }
    if (_reassemblyOctets + apdu.serviceData.size > _settings.maxReassemblyOctets)
    {
        abortAnswer(it, ABORT_REASON_OUT_OF_RESOURCES);
        return;
    }
    const SegmentAssembler::Step step = request.pSegments->take(header.sequenceNumber, header.moreFollows,
                                                                header.windowSize, apdu.serviceData);
    if (step.abortReason)
    {
        abortAnswer(it, *step.abortReason);
        return;
    }
    _reassemblyOctets += request.pSegments->octets().size() - request.segmentOctets;
    request.segmentOctets = request.pSegments->octets().size();
    const PeerAddress peer = request.sent->first;
    const Poco::UInt8 invokeId = header.invokeId;
    const Poco::UInt32 device = request.pRequest->deviceInstance();
    if (step.taken && !step.complete)
        _pTransactions->segmentReceived(device, invokeId);
    if (step.sendAck)
    {
        Apdu::Header ack;
        ack.type = Apdu::SEGMENT_ACK;
        ack.invokeId = invokeId;
        ack.negativeAck = step.negative;
        ack.sequenceNumber = step.ackSequence;
        ack.windowSize = request.pSegments->windowSize();
        sendPdu(peer, ack);
    }
    if (!step.complete)
        return;
    _pTransactions->complete(device, invokeId);
    const Codec::Octets serviceData = request.pSegments->octets();
    releaseSegments(request);
    completePart(it, request.pRequest->takeAck(serviceData));
}

void ClientTransport::abortAnswer(Requests::iterator it, std::uint8_t reason)
{
    OpenRequest& request = it->second;
    sendAbort(request, reason);
    _pTransactions->end(it->first);
    releaseSegments(request);
    completePart(it, request.pRequest->takeError(abortError(reason)));
}

void ClientTransport::sendAbort(const OpenRequest& request, std::uint8_t reason)
{
    if (!request.sent)
        return;
    Apdu::Header abort;
    abort.type = Apdu::ABORT;
    abort.invokeId = request.sent->second;
    abort.serviceChoice = reason;
    sendPdu(request.sent->first, abort);
}

void ClientTransport::completePart(Requests::iterator it, ConfirmedRequest::Outcome outcome)
{
    const Poco::UInt32 transactionId = it->first;
    it->second.sent.reset();
    if (outcome == ConfirmedRequest::FINISHED)
    {
        const NetworkReply reply = it->second.pRequest->reply();
        forget(it);
        _pListener->onReply(transactionId, reply);
        return;
    }
    try
    {
        openPart(transactionId, it->second);
    }
    catch (const Poco::Exception&)
    {
        forget(it);
        _pListener->onReply(transactionId, NetworkReply(NOT_REOPENED_ERROR));
    }
}

void ClientTransport::endRequestsVia(const Codec::Bvll::Endpoint& router, Poco::UInt16 network,
                                     const DataError& error)
{
    std::vector<std::pair<Poco::UInt32, PeerAddress>> rejected;
    for (const auto& [transactionId, request] : _requests)
    {
        if (!request.sent)
            continue;
        const PeerAddress& peer = request.sent->first;
        if (peer.via() == router && peer.isRouted() && peer.address().getNetworkNumber() == network)
            rejected.emplace_back(transactionId, peer);
    }
    for (const auto& [transactionId, peer] : rejected)
    {
        _pTransactions->end(transactionId);
        auto it = _requests.find(transactionId);
        if (it == _requests.end())
            continue;
        _bindings.failed(it->second.pRequest->deviceInstance(), peer);
        forget(it);
        _pListener->onReply(transactionId, NetworkReply(error));
    }
}

void ClientTransport::forget(Requests::iterator it)
{
    releaseSegments(it->second);
    _requests.erase(it);
}

void ClientTransport::releaseSegments(OpenRequest& request)
{
    _reassemblyOctets -= request.segmentOctets;
    request.segmentOctets = 0;
    request.pSegments.reset();
}

// ---- the timer thread
// --------------------------------------------------------------------------------------

void ClientTransport::runTimers()
{
    for (;;)
    {
        Poco::Int64 wait = -1;
        {
            std::lock_guard<std::mutex> lock(_mutex);
            if (_stopping)
                return;
            runDue();
            wait = millisecondsToNextTimer();
        }
        std::unique_lock<std::mutex> lock(_timerMutex);
        const auto kicked = [this] { return _timerKicked; };
        if (wait < 0)
            _timerWake.wait(lock, kicked);
        else
            _timerWake.wait_for(lock, std::chrono::milliseconds(wait), kicked);
        _timerKicked = false;
    }
}

void ClientTransport::runDue()
{
    while (!_deferred.empty())
    {
        const std::function<void()> task = std::move(_deferred.front());
        _deferred.pop_front();
        task();
    }
    for (const TransactionTable::Ended& ended : _pTransactions->expire())
    {
        auto it = _requests.find(ended.transactionId);
        if (it == _requests.end())
            continue;
        if (ended.receivingSegments)
            sendAbort(it->second, ABORT_REASON_TSM_TIMEOUT);
        if (it->second.sent)
            _bindings.failed(ended.deviceInstance, it->second.sent->first);
        forget(it);
        _pListener->onReply(ended.transactionId, NetworkReply(DataError::timeout()));
    }
    _pLink->renewRegistration();
}

Poco::Int64 ClientTransport::millisecondsToNextTimer() const
{
    if (!_deferred.empty())
        return 0;
    const Poco::Int64 transactions = _pTransactions->millisecondsToNextTimer();
    const Poco::Int64 registration = _pLink->millisecondsToRegistration();
    if (transactions < 0 || registration < 0)
        return std::max(transactions, registration);
    return std::min(transactions, registration);
}

void ClientTransport::kickTimers()
{
    {
        std::lock_guard<std::mutex> lock(_timerMutex);
        _timerKicked = true;
    }
    _timerWake.notify_one();
}

}  // namespace Orvik::BACnet::Client::IP
