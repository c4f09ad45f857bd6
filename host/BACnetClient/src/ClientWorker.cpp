#include "Orvik_BACnetClient/ClientWorker.h"

#include "NotificationNetworkEvent.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseUnread.h"
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
        [pQueue]
        { pQueue->enqueueNotification(new NotificationNetworkEvent(NotificationNetworkEvent::Wake())); });
    _networkOpen = openNetwork();
    if (_networkOpen)
        serveDirectly(true);
    workerStarted();
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf = waitDequeueNotification(millisecondsToNextDeadline());
        if (!pNf.isNull() && dispatch(pNf))
            break;
        expireDeadlines();
    }
    serveDirectly(false);
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

// ---- from requesters (their threads) --------------------------------------------------------------

bool ClientWorker::startDirectly(Poco::NotificationQueue* pClientQueue,
                                 const NotificationRequest::Ptr& pRequest)
{
    if (!pRequest->isConfirmed())
        return false;
    // Held while the request starts, so that the worker cannot stop serving half-way.
    std::lock_guard<std::mutex> lock(servingMutex());
    auto it = serving().find(pClientQueue);
    if (it == serving().end())
        return false;
    it->second->startTransaction(pRequest, true);
    return true;
}

std::mutex& ClientWorker::servingMutex()
{
    static std::mutex m;
    return m;
}

std::map<Poco::NotificationQueue*, ClientWorker*>& ClientWorker::serving()
{
    static std::map<Poco::NotificationQueue*, ClientWorker*> workers;
    return workers;
}

void ClientWorker::serveDirectly(bool on)
{
    std::lock_guard<std::mutex> lock(servingMutex());
    if (on)
        serving()[getReadQueue()] = this;
    else
        serving().erase(getReadQueue());
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

void ClientWorker::onUnreadReply(Poco::UInt32 transactionId, std::unique_ptr<UnreadReply> pReply)
{
    // The network's thread only posts it; the requester reads it on its own thread, and answers that come
    // while it is busy wait in its queue.
    const NotificationRequest::Ptr pRequest = takeTransaction(transactionId);
    if (!pRequest.isNull())
        deliver(*pRequest, new NotificationResponseUnread(pRequest, std::move(pReply)));
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
        return false;  // a wake-up only wakes the loop, which looks at the deadlines next
    }
    return handleNotification(pNf);
}

void ClientWorker::startRequest(NotificationRequest::Ptr pRequest)
{
    if (!_networkOpen)
        deliver(*pRequest, pRequest->answerError(REFUSED_ERROR));
    else if (pRequest->isConfirmed())
        startTransaction(pRequest, false);
    else
        startWhoIs(pRequest);
}

void ClientWorker::startWhoIs(const NotificationRequest::Ptr& pRequest)
{
    _whoIsWindows.push_back(Transaction{pRequest, _clock.milliseconds() + _settings.whoIsWindowMs});
    try
    {
        std::lock_guard<std::mutex> lock(_networkMutex);
        pRequest->transmit(_network, 0);
    }
    catch (const std::exception&)
    {
        // A Who-Is that did not go out hears no I-Am: the window ends empty.
    }
}

void ClientWorker::startTransaction(const NotificationRequest::Ptr& pRequest, bool offThread)
{
    const Poco::UInt32 transactionId = openTransaction(pRequest, offThread);
    try
    {
        std::lock_guard<std::mutex> lock(_networkMutex);
        pRequest->transmit(_network, transactionId);
    }
    catch (const std::exception&)
    {
        takeTransaction(transactionId);  // a send that throws has not answered it
        deliver(*pRequest, pRequest->answerError(REFUSED_ERROR));
    }
}

Poco::UInt32 ClientWorker::openTransaction(const NotificationRequest::Ptr& pRequest, bool offThread)
{
    const Poco::Int64 deadline = _clock.milliseconds() + _settings.transactionDeadlineMs;
    std::lock_guard<std::mutex> lock(_transactionsMutex);
    if (const auto* pSubscribe = dynamic_cast<const NotificationRequestSubscribeCOV*>(pRequest.get()))
        _covSubscribers[pSubscribe->getParameters().subscriberProcessIdentifier] = pRequest->getReplyTicket();
    const Poco::UInt32 transactionId = newTransactionId();
    _transactions[transactionId] = Transaction{pRequest, deadline};
    // The worker's thread looks at the deadlines before it waits again; a waiting one is woken only
    // when this deadline comes before the end of its wait.
    if (offThread && deadline < _wakeAt)
        getReadQueue()->enqueueNotification(new NotificationNetworkEvent(NotificationNetworkEvent::Wake()));
    return transactionId;
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
    std::lock_guard<std::mutex> lock(_transactionsMutex);
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
        endOnNetwork(transactionId);
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
    for (const Transaction& window : _whoIsWindows)
        earliest = std::min(earliest, window.deadline);
    {
        std::lock_guard<std::mutex> lock(_transactionsMutex);
        for (const auto& entry : _transactions)
            earliest = std::min(earliest, entry.second.deadline);
        _wakeAt = earliest;
    }
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
        endOnNetwork(entry.first);
    if (_networkOpen)
        _network.close();  // no requester starts any more: the worker has stopped serving them
    for (const auto& entry : open)
        deliver(*entry.second.pRequest, entry.second.pRequest->answerError(STOPPING_ERROR));
    for (const Transaction& window : _whoIsWindows)
        deliver(*window.pRequest, window.pRequest->answerError(STOPPING_ERROR));
    _whoIsWindows.clear();
}

void ClientWorker::endOnNetwork(Poco::UInt32 transactionId)
{
    std::lock_guard<std::mutex> lock(_networkMutex);
    _network.endTransaction(transactionId);
}

void ClientWorker::deliver(const NotificationRequest& request,
                           const Poco::AutoPtr<Poco::Notification>& pReply)
{
    ReplyQueueRegistry::post(request.getReplyTicket(), pReply);
}

}  // namespace Orvik::BACnet::Client
