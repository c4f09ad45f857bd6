#include "ClientTransactions.h"

#include "ApduSender.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/Codec/WhoIs.h"
#include "TimerDriver.h"
#include "UnreadAck.h"

#include <Poco/Exception.h>

#include <vector>

namespace Orvik::BACnet::Client::IP
{

namespace
{

using Codec::Apdu;

const DataError TOO_LONG_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APDU_TOO_LONG);
const DataError NOT_REOPENED_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER);

DataError abortError(std::uint8_t reason)
{
    return DataError(ERROR_CLASS_ABORT, Codec::ServiceError::fromAbort(reason).errorCode);
}

bool transmitsSegments(BACNET_SEGMENTATION segmentation)
{
    return segmentation == SEGMENTATION_SEGMENTED_BOTH || segmentation == SEGMENTATION_SEGMENTED_TRANSMIT;
}

}  // namespace

ClientTransactions::ClientTransactions(const BACnetIPNetwork::Settings& settings, Clock& clock,
                                       BindingTable& bindings, ApduSender& sender, TimerDriver& timers)
    : _settings(settings),
      _bindings(bindings),
      _sender(sender),
      _timers(timers),
      _table(
          settings.transactions, clock, [this](Poco::UInt32 device) { findDevice(device); },
          [this](Poco::UInt32 transactionId, bool waiting)
          { _pAnswers->onQueueing(transactionId, waiting); }),
      _reassembly(settings.maxSegments, settings.maxReassemblyOctets)
{
}

void ClientTransactions::clear()
{
    _table.clear();
    _requests.clear();
    _reassembly.clear();
}

void ClientTransactions::start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest)
{
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
    _timers.due(_table.millisecondsToNextTimer());
}

void ClientTransactions::end(Poco::UInt32 transactionId)
{
    const std::optional<TransactionTable::Ended> ended = _table.end(transactionId);
    auto it = _requests.find(transactionId);
    if (it == _requests.end())
        return;
    if (ended && ended->receivingSegments)
        sendAbort(it->second, ABORT_REASON_OTHER);
    forget(it);
}

void ClientTransactions::bound(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding)
{
    if (!_table.awaitsAddress(deviceInstance))
        return;
    limitOutstanding(deviceInstance, binding);
    _table.bind(deviceInstance);
}

// ---- sending ---------------------------------------------------------------------------------------------

void ClientTransactions::openPart(Poco::UInt32 transactionId, OpenRequest& request)
{
    ++request.part;
    const Poco::UInt32 device = request.pRequest->deviceInstance();
    const BindingTable::Binding* pBinding = _bindings.find(device);
    if (pBinding != nullptr)
        limitOutstanding(device, *pBinding);
    _table.open(
        transactionId, device,
        [this, transactionId](Poco::UInt8 invokeId) { transmit(transactionId, invokeId); },
        pBinding != nullptr);
}

void ClientTransactions::limitOutstanding(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding)
{
    if (!binding.peer.isRouted())
        return _table.setLimits(deviceInstance, _settings.transactions.maxOutstanding);
    const Poco::UInt16 network = binding.peer.address().getNetworkNumber();
    auto configured = _settings.maxOutstandingOnNetwork.find(network);
    TransactionTable::Link link;
    link.id = network;
    link.maxOutstanding = configured == _settings.maxOutstandingOnNetwork.end()
                              ? _settings.maxOutstandingPerRouterNetwork
                              : configured->second;
    _table.setLimits(deviceInstance, _settings.maxOutstandingBehindRouter, link);
}

void ClientTransactions::transmit(Poco::UInt32 transactionId, Poco::UInt8 invokeId)
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
        _timers.defer([this, transactionId, part] { failOversized(transactionId, part); });
        return;
    }
    Apdu::Header header;
    header.type = Apdu::CONFIRMED_REQUEST;
    header.segmentedResponseAccepted = true;
    header.maxSegments = _settings.maxSegments;
    header.maxApdu = Apdu::_MAX_APDU_IP;
    header.invokeId = invokeId;
    header.serviceChoice = confirmed.service();
    const Codec::Octets apdu = Apdu::encode(header, confirmed.serviceData());
    request.sent = SentKey(pBinding->peer, invokeId);
    _sender.sendTo(pBinding->peer, apdu, true);
}

void ClientTransactions::findDevice(Poco::UInt32 deviceInstance)
{
    Apdu::Header header;
    header.type = Apdu::UNCONFIRMED_REQUEST;
    header.serviceChoice = Codec::WhoIs::_SERVICE;
    _sender.broadcast(DataType::BACnetAddress(),
                      Apdu::encode(header, Codec::WhoIs::range(deviceInstance, deviceInstance).encode()));
}

void ClientTransactions::failOversized(Poco::UInt32 transactionId, Poco::UInt32 part)
{
    auto it = _requests.find(transactionId);
    if (it == _requests.end() || it->second.part != part)
        return;
    _table.end(transactionId);
    finish(it, NetworkReply(TOO_LONG_ERROR));
}

void ClientTransactions::sendAbort(const OpenRequest& request, std::uint8_t reason)
{
    if (!request.sent)
        return;
    Apdu::Header abort;
    abort.type = Apdu::ABORT;
    abort.invokeId = request.sent->second;
    abort.serviceChoice = reason;
    _sender.sendPdu(request.sent->first, abort);
}

// ---- answers ---------------------------------------------------------------------------------------------

bool ClientTransactions::receiveAnswer(const PeerAddress& peer, const Apdu::Message& apdu)
{
    const Apdu::Header& header = apdu.header;
    if (header.type == Apdu::ABORT && !header.server)
        return true;  // aborts a transaction this station serves: there is nothing to stop
    const std::optional<Poco::UInt32> device = _bindings.deviceAt(peer);
    const std::optional<Poco::UInt32> transactionId =
        device ? _table.find(*device, header.invokeId) : std::nullopt;
    if (!transactionId)
        return false;  // from another address, or an invoke id that is not out
    auto it = _requests.find(*transactionId);
    if (it == _requests.end() || it->second.sent != SentKey(peer, header.invokeId))
        return true;
    ConfirmedRequest& confirmed = *it->second.pRequest;
    _bindings.answered(confirmed.deviceInstance(), peer);
    if (header.type == Apdu::COMPLEX_ACK && header.segmented)
    {
        if (header.serviceChoice == confirmed.service() && confirmed.expectsComplexAck())
            receiveSegment(it, apdu);
        return true;
    }
    DataError error;
    if (!awaited(*transactionId, confirmed, apdu, error))
        return true;
    _table.complete(confirmed.deviceInstance(), header.invokeId);
    _reassembly.release(*transactionId);
    if (header.type == Apdu::SIMPLE_ACK || header.type == Apdu::COMPLEX_ACK)
        takeAck(it, apdu.serviceData);
    else
        completePart(it, confirmed.takeError(error));
    return true;
}

bool ClientTransactions::awaited(Poco::UInt32 transactionId, const ConfirmedRequest& confirmed,
                                 const Apdu::Message& apdu, DataError& error) const
{
    const Apdu::Header& header = apdu.header;
    const bool ofThisService = header.serviceChoice == confirmed.service();
    switch (header.type)
    {
        case Apdu::SIMPLE_ACK:
        case Apdu::COMPLEX_ACK:
            return ofThisService && confirmed.expectsComplexAck() == (header.type == Apdu::COMPLEX_ACK) &&
                   !_reassembly.isReceiving(transactionId);
        case Apdu::ERROR:
            if (!ofThisService)
                return false;
            try
            {
                error = Codec::ServiceError::decode(apdu.serviceData, confirmed.service());
            }
            catch (const Codec::DecodeError& e)
            {
                error = ConfirmedRequest::malformed(e);
            }
            return true;
        case Apdu::REJECT:
            error = DataError(ERROR_CLASS_REJECT,
                              Codec::ServiceError::fromReject(header.serviceChoice).errorCode);
            return true;
        default:
            error = abortError(header.serviceChoice);
            return true;
    }
}

void ClientTransactions::receiveSegment(Requests::iterator it, const Apdu::Message& apdu)
{
    OpenRequest& request = it->second;
    const AnswerReassembly::Step step = _reassembly.take(it->first, apdu);
    if (step.abortReason)
        return abortAnswer(it, *step.abortReason);
    const Poco::UInt32 device = request.pRequest->deviceInstance();
    const Poco::UInt8 invokeId = apdu.header.invokeId;
    if (step.awaitingMore)
        _table.segmentReceived(device, invokeId);
    if (step.ack)
        _sender.sendPdu(request.sent->first, *step.ack);
    if (!step.serviceData)
        return;
    _table.complete(device, invokeId);
    takeAck(it, *step.serviceData);
}

void ClientTransactions::abortAnswer(Requests::iterator it, std::uint8_t reason)
{
    OpenRequest& request = it->second;
    sendAbort(request, reason);
    _table.end(it->first);
    completePart(it, request.pRequest->takeError(abortError(reason)));
}

void ClientTransactions::takeAck(Requests::iterator it, const Codec::OctetView& serviceData)
{
    if (!it->second.pRequest->ackEndsTransaction())
        return completePart(it, it->second.pRequest->takeAck(serviceData));
    // A long ACK (a page of log records) is read by whoever takes the answer, not under the lock.
    const Poco::UInt32 transactionId = it->first;
    auto pAck = std::make_unique<UnreadAck>(std::move(it->second.pRequest), serviceData.toOctets());
    forget(it);
    _pAnswers->onUnreadReply(transactionId, std::move(pAck));
}

void ClientTransactions::completePart(Requests::iterator it, ConfirmedRequest::Outcome outcome)
{
    it->second.sent.reset();
    if (outcome == ConfirmedRequest::FINISHED)
        return finish(it, it->second.pRequest->takeReply());
    try
    {
        openPart(it->first, it->second);
    }
    catch (const Poco::Exception&)
    {
        finish(it, NetworkReply(NOT_REOPENED_ERROR));
    }
}

void ClientTransactions::endRequestsVia(const Codec::Bvll::Endpoint& router, Poco::UInt16 network,
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
        _table.end(transactionId);
        auto it = _requests.find(transactionId);
        if (it == _requests.end())
            continue;
        _bindings.failed(it->second.pRequest->deviceInstance(), peer);
        finish(it, NetworkReply(error));
    }
}

Poco::Int64 ClientTransactions::expire()
{
    for (const TransactionTable::Ended& ended : _table.expire())
    {
        auto it = _requests.find(ended.transactionId);
        if (it == _requests.end())
            continue;
        if (ended.receivingSegments)
            sendAbort(it->second, ABORT_REASON_TSM_TIMEOUT);
        if (it->second.sent)
            _bindings.failed(ended.deviceInstance, it->second.sent->first);
        finish(it, NetworkReply(DataError::timeout()));
    }
    return _table.millisecondsToNextTimer();
}

void ClientTransactions::finish(Requests::iterator it, const NetworkReply& reply)
{
    const Poco::UInt32 transactionId = it->first;
    forget(it);
    _pAnswers->onReply(transactionId, reply);
}

void ClientTransactions::forget(Requests::iterator it)
{
    _reassembly.release(it->first);
    _requests.erase(it);
}

}  // namespace Orvik::BACnet::Client::IP
