#include "Orvik_BACnetClient/ClientWorker.h"

#include "NotificationNetworkEvent.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "ReplyQueueRegistry.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <iostream>
#include <limits>

namespace Orvik::BACnet::Client
{

namespace
{

const DataError REFUSED_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER);
const DataError STOPPING_ERROR(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_OTHER);

}  // namespace

ClientWorker::ClientWorker(Poco::NotificationQueue* pQueue, Network& network)
    : ClientWorker(pQueue, network, Settings())
{
}

ClientWorker::ClientWorker(Poco::NotificationQueue* pQueue, Network& network, const Settings& settings,
                           Clock& clock)
    : NotificationQueueWorker(pQueue),
      _network(network),
      _settings(settings),
      _clock(clock),
      _thread("BACnetClient")
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
    Poco::NotificationQueue* pQueue = getReadQueue();
    const Poco::UInt64 waker = _clock.addWaker(
        [pQueue] {
            pQueue->enqueueNotification(new NotificationNetworkEvent(NotificationNetworkEvent::ClockJump()));
        });
    _networkOpen = openNetwork();
    workerStarted();
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(millisecondsToNextDeadline());
        if (!pNf.isNull() && dispatch(pNf))
            break;
        expireDeadlines();
    }
    _clock.removeWaker(waker);
    endAllOpen();
}

bool ClientWorker::openNetwork()
{
    std::string reason;
    try
    {
        _network.open(*this);
        return true;
    }
    catch (const Poco::Exception& e)
    {
        reason = e.displayText();
    }
    catch (const std::exception& e)
    {
        reason = e.what();
    }
    std::cerr << "BACnet client: the network could not be opened (" << reason << "); every request is refused"
              << std::endl;
    return false;
}

// ---- from the network (any thread) ----------------------------------------------------------------

void ClientWorker::onReply(Poco::UInt32 transactionId, NetworkReply reply)
{
    // Straight to the requester's queue from the network's thread: the worker's thread is not woken for
    // an answer, which saves a thread hand-off per request.
    const NotificationRequest::Ptr pRequest = takeTransaction(transactionId);
    if (!pRequest.isNull())
        deliver(*pRequest, pRequest->answer(reply));
}

void ClientWorker::onIAm(const DataResponseWhoIs& iAm)
{
    getReadQueue()->enqueueNotification(new NotificationNetworkEvent(iAm));
}

void ClientWorker::onCOVNotification(const DataResponseCOV& notification)
{
    getReadQueue()->enqueueNotification(new NotificationNetworkEvent(notification));
}

void ClientWorker::onQueueing(Poco::UInt32 transactionId, bool waiting)
{
    getReadQueue()->enqueueNotification(
        new NotificationNetworkEvent(NotificationNetworkEvent::Queueing{transactionId, waiting}));
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
        if (const auto* pQueueing = std::get_if<NotificationNetworkEvent::Queueing>(&pEvent->event))
            takeQueueing(pQueueing->transactionId, pQueueing->waiting);
        else if (const auto* pIAm = std::get_if<DataResponseWhoIs>(&pEvent->event))
            takeIAm(*pIAm);
        else if (const auto* pCOV = std::get_if<DataResponseCOV>(&pEvent->event))
            takeCOVNotification(*pCOV);
        return false;  // a clock jump only wakes the loop, which looks at the deadlines next
    }
    return handleNotification(pNf);
}

void ClientWorker::startRequest(NotificationRequest::Ptr pRequest)
{
    if (auto* pSubscribe = dynamic_cast<NotificationRequestSubscribeCOV*>(pRequest.get()))
        _covSubscribers[pSubscribe->getParameters().subscriberProcessIdentifier] = pRequest->getReplyTicket();
    if (!_networkOpen)
        deliver(*pRequest, pRequest->answerError(REFUSED_ERROR));
    else if (pRequest->isConfirmed())
        startTransaction(pRequest);
    else
        startWhoIs(pRequest);
}

void ClientWorker::startWhoIs(const NotificationRequest::Ptr& pRequest)
{
    _whoIsWindows.push_back(Transaction{pRequest, _clock.milliseconds() + _settings.whoIsWindowMs});
    try
    {
        pRequest->transmit(_network, 0);
    }
    catch (const std::exception&)
    {
        // A Who-Is that did not go out hears no I-Am: the window ends empty.
    }
}

void ClientWorker::startTransaction(const NotificationRequest::Ptr& pRequest)
{
    Poco::UInt32 transactionId = 0;
    {
        std::lock_guard<std::mutex> lock(_transactionsMutex);
        transactionId = newTransactionId();
        _transactions[transactionId] =
            Transaction{pRequest, _clock.milliseconds() + _settings.transactionDeadlineMs};
    }
    try
    {
        pRequest->transmit(_network, transactionId);
    }
    catch (const std::exception&)
    {
        takeTransaction(transactionId);  // a send that throws has not answered it
        deliver(*pRequest, pRequest->answerError(REFUSED_ERROR));
    }
}

Poco::UInt32 ClientWorker::newTransactionId()
{
    do
        ++_lastTransactionId;
    while (_lastTransactionId == 0 || _transactions.count(_lastTransactionId) > 0);
    return _lastTransactionId;
}

NotificationRequest::Ptr ClientWorker::takeTransaction(Poco::UInt32 transactionId)
{
    std::lock_guard<std::mutex> lock(_transactionsMutex);
    auto it = _transactions.find(transactionId);
    if (it == _transactions.end())
        return {};  // answered already, or timed out: a late answer to a request that is over
    NotificationRequest::Ptr pRequest = it->second.pRequest;
    _transactions.erase(it);
    return pRequest;
}

void ClientWorker::takeQueueing(Poco::UInt32 transactionId, bool waiting)
{
    std::lock_guard<std::mutex> lock(_transactionsMutex);
    auto it = _transactions.find(transactionId);
    if (it != _transactions.end())
        it->second.deadline = waiting ? _PAUSED : _clock.milliseconds() + _settings.transactionDeadlineMs;
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
    const Poco::Int64 now = _clock.milliseconds();
    for (const auto& [transactionId, pRequest] : takeExpired(now))
    {
        _network.endTransaction(transactionId);
        deliver(*pRequest, pRequest->answerError(DataError::timeout()));
    }
    auto open = std::stable_partition(_whoIsWindows.begin(), _whoIsWindows.end(),
                                      [now](const Transaction& window) { return window.deadline > now; });
    for (auto it = open; it != _whoIsWindows.end(); ++it)
        deliver(*it->pRequest,
                static_cast<const NotificationRequestWhoIs&>(*it->pRequest).answerEndOfWindow());
    _whoIsWindows.erase(open, _whoIsWindows.end());
}

std::vector<std::pair<Poco::UInt32, NotificationRequest::Ptr>> ClientWorker::takeExpired(Poco::Int64 now)
{
    std::vector<std::pair<Poco::UInt32, NotificationRequest::Ptr>> expired;
    std::lock_guard<std::mutex> lock(_transactionsMutex);
    for (auto it = _transactions.begin(); it != _transactions.end();)
    {
        if (it->second.deadline > now)
        {
            ++it;
            continue;
        }
        expired.emplace_back(it->first, it->second.pRequest);
        it = _transactions.erase(it);
    }
    return expired;
}

long ClientWorker::millisecondsToNextDeadline()
{
    Poco::Int64 earliest = std::numeric_limits<Poco::Int64>::max();
    {
        std::lock_guard<std::mutex> lock(_transactionsMutex);
        for (const auto& entry : _transactions)
            earliest = std::min(earliest, entry.second.deadline);
    }
    for (const Transaction& window : _whoIsWindows)
        earliest = std::min(earliest, window.deadline);
    if (earliest == std::numeric_limits<Poco::Int64>::max())
        return _WAIT_FOREVER;  // nothing due, or every transaction paused (_PAUSED is that maximum)
    return static_cast<long>(std::max<Poco::Int64>(0, earliest - _clock.milliseconds()));
}

void ClientWorker::endAllOpen()
{
    std::map<Poco::UInt32, Transaction> open;
    {
        std::lock_guard<std::mutex> lock(_transactionsMutex);
        open.swap(_transactions);
    }
    for (const auto& entry : open)
        _network.endTransaction(entry.first);
    if (_networkOpen)
        _network.close();
    for (const auto& entry : open)
        deliver(*entry.second.pRequest, entry.second.pRequest->answerError(STOPPING_ERROR));
    for (const Transaction& window : _whoIsWindows)
        deliver(*window.pRequest, window.pRequest->answerError(STOPPING_ERROR));
    _whoIsWindows.clear();
}

void ClientWorker::deliver(const NotificationRequest& request, const NotificationResponseBase::Ptr& pReply)
{
    ReplyQueueRegistry::post(request.getReplyTicket(), pReply);
}

}  // namespace Orvik::BACnet::Client
