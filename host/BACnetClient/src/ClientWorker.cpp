#include "Orvik_BACnetClient/ClientWorker.h"

#include "NotificationNetworkEvent.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "ReplyQueueRegistry.h"

#include <algorithm>
#include <limits>

namespace Orvik::BACnet::Client
{

namespace
{

const DataError TIMEOUT_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
const DataError END_OF_WINDOW(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME);
const DataError STOPPING_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_OTHER);

Poco::Clock deadlineIn(Poco::UInt32 milliseconds)
{
    Poco::Clock deadline;
    deadline += static_cast<Poco::Clock::ClockDiff>(milliseconds) * 1000;
    return deadline;
}

}  // namespace

ClientWorker::ClientWorker(Poco::NotificationQueue* pQueue, Network& network)
    : ClientWorker(pQueue, network, Settings())
{
}

ClientWorker::ClientWorker(Poco::NotificationQueue* pQueue, Network& network, const Settings& settings)
    : NotificationQueueWorker(pQueue), _network(network), _settings(settings), _thread("BACnetClient")
{
}

ClientWorker::~ClientWorker()
{
    stop();
}

void ClientWorker::start()
{
    _thread.start(*this);
}

void ClientWorker::stop()
{
    if (!_thread.isRunning())
        return;
    getReadQueue()->enqueueUrgentNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    _thread.join();
}

void ClientWorker::run()
{
    _network.open(*this);
    workerStarted();
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(millisecondsToNextDeadline());
        if (!pNf.isNull() && dispatch(pNf))
            break;
        expireDeadlines();
    }
    _network.close();
    answerAllOpen();
}

// ---- from the network (any thread) ----------------------------------------------------------------

void ClientWorker::onReply(Poco::UInt32 transactionId, NetworkReply reply)
{
    getReadQueue()->enqueueNotification(
        new NotificationNetworkEvent(NotificationNetworkEvent::Answer{transactionId, std::move(reply)}));
}

void ClientWorker::onIAm(const DataResponseWhoIs& iAm)
{
    getReadQueue()->enqueueNotification(new NotificationNetworkEvent(iAm));
}

void ClientWorker::onCOVNotification(const DataResponseCOV& notification)
{
    getReadQueue()->enqueueNotification(new NotificationNetworkEvent(notification));
}

// ---- on the worker's thread ------------------------------------------------------------------------

bool ClientWorker::dispatch(Poco::AutoPtr<Poco::Notification> pNf)
{
    if (auto* pRequest = dynamic_cast<NotificationRequest*>(pNf.get()))
    {
        startRequest(NotificationRequest::Ptr(pRequest, true));
        return false;
    }
    if (auto* pEvent = dynamic_cast<NotificationNetworkEvent*>(pNf.get()))
    {
        if (const auto* pAnswer = std::get_if<NotificationNetworkEvent::Answer>(&pEvent->event))
            takeReply(pAnswer->transactionId, pAnswer->reply);
        else if (const auto* pIAm = std::get_if<DataResponseWhoIs>(&pEvent->event))
            takeIAm(*pIAm);
        else
            takeCOVNotification(std::get<DataResponseCOV>(pEvent->event));
        return false;
    }
    return handleNotification(pNf);
}

void ClientWorker::startRequest(NotificationRequest::Ptr pRequest)
{
    if (auto* pSubscribe = dynamic_cast<NotificationRequestSubscribeCOV*>(pRequest.get()))
        _covSubscribers[pSubscribe->getParameters().subscriberProcessIdentifier] = pRequest->getReplyTicket();

    Transaction transaction;
    transaction.pRequest = pRequest;
    if (!pRequest->isConfirmed())
    {
        transaction.deadline = deadlineIn(_settings.whoIsWindowMs);
        _whoIsWindows.push_back(transaction);
        transmit(*pRequest, 0);
        return;
    }
    const Poco::UInt32 transactionId = ++_lastTransactionId;
    transaction.deadline = deadlineIn(_settings.apduTimeoutMs);
    transaction.retriesLeft = _settings.apduRetries;
    _transactions[transactionId] = transaction;
    transmit(*pRequest, transactionId);
}

void ClientWorker::transmit(const NotificationRequest& request, Poco::UInt32 transactionId)
{
    try
    {
        request.transmit(_network, transactionId);
    }
    catch (const std::exception&)
    {
        // A request that could not be sent is as good as lost: its time-out (or the end of the Who-Is
        // window) answers it, and the worker goes on serving.
    }
}

void ClientWorker::takeReply(Poco::UInt32 transactionId, const NetworkReply& reply)
{
    auto it = _transactions.find(transactionId);
    if (it == _transactions.end())
        return;  // answered already, or timed out: a late answer to a request that is over
    NotificationRequest::Ptr pRequest = it->second.pRequest;
    _transactions.erase(it);
    deliver(*pRequest, pRequest->answer(reply));
}

void ClientWorker::takeIAm(const DataResponseWhoIs& iAm)
{
    for (const Transaction& window : _whoIsWindows)
    {
        const auto& whoIs = static_cast<const NotificationRequestWhoIs&>(*window.pRequest);
        if (whoIs.covers(iAm))
            deliver(whoIs, whoIs.answerIAm(iAm));
    }
}

void ClientWorker::takeCOVNotification(const DataResponseCOV& notification)
{
    auto it = _covSubscribers.find(notification.subscriberProcessIdentifier);
    if (it == _covSubscribers.end())
        return;
    Poco::AutoPtr<Poco::Notification> pReply(new NotificationResponse<DataResponseCOV>(
        0, Orvik::Utility::Notification::RESULT, Orvik::Utility::Notification::COV_EVENT, notification));
    if (!ReplyQueueRegistry::post(it->second, pReply))
        _covSubscribers.erase(it);  // the subscriber is gone
}

void ClientWorker::expireDeadlines()
{
    for (auto it = _transactions.begin(); it != _transactions.end();)
    {
        Transaction& transaction = it->second;
        if (!transaction.deadline.isElapsed(0))
        {
            ++it;
            continue;
        }
        if (transaction.retriesLeft > 0)
        {
            --transaction.retriesLeft;
            transaction.deadline = deadlineIn(_settings.apduTimeoutMs);
            transmit(*transaction.pRequest, it->first);
            ++it;
            continue;
        }
        NotificationRequest::Ptr pRequest = transaction.pRequest;
        it = _transactions.erase(it);
        deliver(*pRequest, pRequest->answerError(TIMEOUT_ERROR));
    }
    auto open =
        std::stable_partition(_whoIsWindows.begin(), _whoIsWindows.end(),
                              [](const Transaction& window) { return !window.deadline.isElapsed(0); });
    for (auto it = open; it != _whoIsWindows.end(); ++it)
        deliver(*it->pRequest, it->pRequest->answerError(END_OF_WINDOW));
    _whoIsWindows.erase(open, _whoIsWindows.end());
}

long ClientWorker::millisecondsToNextDeadline() const
{
    Poco::Clock::ClockDiff earliest = std::numeric_limits<Poco::Clock::ClockDiff>::max();
    const Poco::Clock now;
    for (const auto& entry : _transactions)
        earliest = std::min(earliest, entry.second.deadline - now);
    for (const Transaction& window : _whoIsWindows)
        earliest = std::min(earliest, window.deadline - now);
    if (earliest == std::numeric_limits<Poco::Clock::ClockDiff>::max())
        return _WAIT_FOREVER;
    // Round up, so that the deadline has passed when the wait ends.
    return earliest <= 0 ? 0 : static_cast<long>((earliest + 999) / 1000);
}

void ClientWorker::answerAllOpen()
{
    for (auto& entry : _transactions)
        deliver(*entry.second.pRequest, entry.second.pRequest->answerError(STOPPING_ERROR));
    _transactions.clear();
    for (const Transaction& window : _whoIsWindows)
        deliver(*window.pRequest, window.pRequest->answerError(STOPPING_ERROR));
    _whoIsWindows.clear();
}

void ClientWorker::deliver(const NotificationRequest& request, const NotificationResponseBase::Ptr& pReply)
{
    ReplyQueueRegistry::post(request.getReplyTicket(), pReply);
}

}  // namespace Orvik::BACnet::Client
