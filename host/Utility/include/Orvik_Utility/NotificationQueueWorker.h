#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Runnable.h>
#include <Poco/Thread.h>
#include <Poco/Timestamp.h>

#include <atomic>
#include <memory>
#include <vector>

namespace Orvik::Utility
{

/// A worker that lives on one thread and is fed through one notification queue.
///
/// The read queue is either given by the owner (and not owned: it must outlive
/// the worker) or, when none is given, created and owned by the worker. Other
/// threads talk to the worker only by posting to its read queue; Poco's queue is
/// thread-safe, so the worker needs no lock of its own.
///
/// Subscribers are queues that want to hear what this worker publishes
/// (publish()). The list is not owned and must not change while the worker runs.
///
/// handleNotification() is the worker's default reaction to a notification that
/// its owner does not handle itself:
/// - `Notification` with action STOP_RUNNING: returns true (the owner leaves its loop);
/// - `Notification` with action SANITY_REQUEST: answers with a `Notification`
///   (SANITY_RESPONSE, SANITY_REQUEST, this worker's read queue, no event) posted to
///   the request's reply queue, and sets the request's event if it carries one.
///   A supervisor (the host's watchdog) so learns that the worker's loop still turns,
///   and which worker answered (the reply queue of the response);
/// - anything else: ignored, returns false.
///
/// run() is a plain loop for workers without a loop of their own: workerStarted(),
/// then handleNotification() for every notification until it returns true.
class NotificationQueueWorker : public Poco::Runnable
{
public:
    using SubscriberList = std::vector<Poco::NotificationQueue*>;

    /// Waits without a time limit (the argument of waitDequeueNotification()).
    static constexpr long _WAIT_FOREVER = -1;

    explicit NotificationQueueWorker(Poco::NotificationQueue* pReadQueue = nullptr,
                                     const SubscriberList* pSubscribers = nullptr);
    NotificationQueueWorker(const NotificationQueueWorker&) = delete;
    NotificationQueueWorker& operator=(const NotificationQueueWorker&) = delete;
    ~NotificationQueueWorker() override;

    /// The queue this worker reads; never null.
    Poco::NotificationQueue* getReadQueue() const { return _pReadQueue; }

    /// Called first on the worker's own thread: records that thread and the start time.
    void workerStarted();
    bool isWorkerStarted() const { return _started; }
    /// The thread that called workerStarted(), null before (or when that was not a Poco thread).
    Poco::Thread* getWorkerThread() const { return _pThread; }
    Poco::Timestamp getStartTime() const { return Poco::Timestamp(_startTime.load()); }

    /// The next notification of the read queue. `milliseconds` negative (-1): wait
    /// without limit; 0: do not wait. Null when the time ran out. The caller
    /// holds the only reference the worker hands out.
    Poco::AutoPtr<Poco::Notification> waitDequeueNotification(long milliseconds);

    /// Posts to every subscriber queue; returns the number of subscribers reached.
    std::size_t publish(const Poco::AutoPtr<Poco::Notification>& pNf) const;

    /// Default reaction, see the class comment. True: the worker is to stop.
    virtual bool handleNotification(Poco::AutoPtr<Poco::Notification> pNf);

    /// Answers the sanity requests waiting in the read queue and leaves every other notification there
    /// in its order, without waiting. For a worker that stays away from its loop for long (a long
    /// transfer): called now and then on its own thread, it keeps the worker counted as alive. True when
    /// a stop request (STOP_RUNNING) is among the notifications left waiting.
    bool answerWaitingSanityRequests();

    void run() override;

    /// The answer of the worker that reads `workerQueue` to a SANITY_REQUEST, as described above; for
    /// threads that are not NotificationQueueWorkers but are watched the same way.
    static void answerSanityRequest(const class Notification& request, Poco::NotificationQueue& workerQueue);

private:
    std::unique_ptr<Poco::NotificationQueue> _pOwnQueue;
    Poco::NotificationQueue* const _pReadQueue;
    const SubscriberList* const _pSubscribers;
    std::atomic<bool> _started{false};
    std::atomic<Poco::Thread*> _pThread{nullptr};
    std::atomic<Poco::Timestamp::TimeVal> _startTime{0};
};

}  // namespace Orvik::Utility
