#include "Orvik_Utility/NotificationQueueWorker.h"

#include <vector>

#include "Orvik_Utility/Notification.h"

namespace Orvik::Utility
{

NotificationQueueWorker::NotificationQueueWorker(Poco::NotificationQueue* pReadQueue,
                                                 const SubscriberList* pSubscribers)
    : _pOwnQueue(pReadQueue == nullptr ? std::make_unique<Poco::NotificationQueue>() : nullptr),
      _pReadQueue(pReadQueue == nullptr ? _pOwnQueue.get() : pReadQueue),
      _pSubscribers(pSubscribers)
{
}

NotificationQueueWorker::~NotificationQueueWorker() = default;

void NotificationQueueWorker::workerStarted()
{
    _pThread = Poco::Thread::current();
    _startTime = Poco::Timestamp().epochMicroseconds();
    _started = true;
}

Poco::AutoPtr<Poco::Notification> NotificationQueueWorker::waitDequeueNotification(long milliseconds)
{
    // Poco hands over the queue's reference: the AutoPtr takes it without adding one.
    if (milliseconds < 0)
    {
        return Poco::AutoPtr<Poco::Notification>(_pReadQueue->waitDequeueNotification());
    }
    if (milliseconds == 0)
    {
        return Poco::AutoPtr<Poco::Notification>(_pReadQueue->dequeueNotification());
    }
    return Poco::AutoPtr<Poco::Notification>(_pReadQueue->waitDequeueNotification(milliseconds));
}

std::size_t NotificationQueueWorker::publish(const Poco::AutoPtr<Poco::Notification>& pNf) const
{
    if (_pSubscribers == nullptr || pNf.isNull())
    {
        return 0;
    }
    for (Poco::NotificationQueue* pSubscriber : *_pSubscribers)
    {
        pSubscriber->enqueueNotification(pNf);
    }
    return _pSubscribers->size();
}

bool NotificationQueueWorker::handleNotification(Poco::AutoPtr<Poco::Notification> pNf)
{
    const auto* pHostNf = dynamic_cast<const Notification*>(pNf.get());
    if (pHostNf == nullptr)
    {
        return false;
    }
    switch (pHostNf->getAction())
    {
        case Notification::STOP_RUNNING:
            return true;
        case Notification::SANITY_REQUEST:
            answerSanityRequest(*pHostNf, *_pReadQueue);
            return false;
        default:
            return false;
    }
}

bool NotificationQueueWorker::answerWaitingSanityRequests()
{
    std::vector<Poco::AutoPtr<Poco::Notification>> others;
    bool stopWaits = false;
    for (Poco::AutoPtr<Poco::Notification> pNf(_pReadQueue->dequeueNotification()); !pNf.isNull();
         pNf = _pReadQueue->dequeueNotification())
    {
        const auto* pHostNf = dynamic_cast<const Notification*>(pNf.get());
        if (pHostNf != nullptr && pHostNf->getAction() == Notification::SANITY_REQUEST)
        {
            answerSanityRequest(*pHostNf, *_pReadQueue);
        }
        else
        {
            stopWaits =
                stopWaits || (pHostNf != nullptr && pHostNf->getAction() == Notification::STOP_RUNNING);
            others.push_back(pNf);
        }
    }
    // Put back at the front, newest first: ahead of whatever arrived meanwhile, in their order.
    for (auto it = others.rbegin(); it != others.rend(); ++it)
    {
        _pReadQueue->enqueueUrgentNotification(*it);
    }
    return stopWaits;
}

void NotificationQueueWorker::answerSanityRequest(const Notification& request,
                                                  Poco::NotificationQueue& workerQueue)
{
    if (request.getReplyQueue() != nullptr)
    {
        request.getReplyQueue()->enqueueNotification(
            new Notification(Notification::SANITY_RESPONSE, Notification::SANITY_REQUEST, &workerQueue));
    }
    request.signal();
}

void NotificationQueueWorker::run()
{
    workerStarted();
    while (!handleNotification(waitDequeueNotification(_WAIT_FOREVER)))
    {
    }
}

}  // namespace Orvik::Utility
