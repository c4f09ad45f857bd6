#pragma once

#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NetworkListener.h"
#include "Orvik_BACnetClient/NotificationRequest.h"
#include "Orvik_Utility/NotificationQueueWorker.h"

#include <Poco/NotificationQueue.h>
#include <Poco/Thread.h>
#include <Poco/Types.h>

#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace Orvik::BACnet::Client
{

/// The host's BACnet client: serves the client queue on a thread of its own.
///
/// Every NotificationRequest taken from the queue, or started on a requester's thread (startDirectly()),
/// is carried out on the Network and answered on the requester's queue, exactly once (a Who-Is: an answer
/// per I-Am, then the end of the window):
///   - A confirmed request becomes a transaction of the network (Network.h), which owns the APDU
///     time-out, the retries and the invoke ids, and ends it with the device's answer, its error or the
///     time-out error communication (7) / timeout (30). The worker never blocks on a device: it keeps a
///     table of open transactions and waits on its queue only until the next deadline, so a silent or
///     slow device does not hold up the others.
///   - The worker keeps one safety deadline per transaction (transactionDeadlineMs, longer than the
///     network's time-out with its retries): a transaction the network has not ended by then is
///     answered with the time-out error, and the worker ends it on the network (endTransaction). The
///     deadline stops while the network reports the transaction waiting in its queue, and counts anew
///     from when it goes out, so a long queue behind a slow router does not time requests out.
///   - A request the network refuses to take (its send call throws) is answered at once with the error
///     communication (7) / other (0).
///   - A network that cannot be opened (open() throws: its address is taken, say) is reported once on
///     standard error; from then on every request is answered at once with communication (7) / other
///     (0), a Who-Is included, so that no requester waits for a network that will never answer.
///   - A Who-Is collects I-Ams for whoIsWindowMs and then posts the end of the window
///     (NotificationRequestWhoIs::answerEndOfWindow()).
///   - COV notifications go to the queue of the requester whose subscriber process identifier they
///     carry (the last SubscribeCOV request sent with that identifier).
///   - On the stop request (a host Notification with action STOP_RUNNING) every open transaction is
///     ended on the network, the network is closed, and every open request is answered with
///     communication (7) / abort-other (56) (a worker that stops cannot answer them any more); then the
///     thread ends. Requests that arrive after that are not answered.
///   - While the worker runs on an open network it serves its queue's requesters directly: a confirmed
///     request given to startDirectly() starts on the requester's own thread, without waiting for the
///     worker's. Its answer (or error), like every transaction's, is posted on the thread of the network
///     that ends it, within NetworkListener::onReply. So a request crosses one thread hand-off, the
///     answer's to the requester. The open transactions are kept under a lock of their own for that
///     (whoever takes a transaction out answers it), and the calls into the network under another, so
///     that they never overlap (Network.h). An answer the network left unread (onUnreadReply: a page of
///     log records) is posted unread (NotificationResponseUnread) and read on the requester's thread.
///   - Replies are posted through the requester's reply ticket: a requester that is gone (an app deleted
///     after its stop) receives nothing, and nothing is posted to a queue that no longer exists.
///   - Deadlines run on the injected Clock (the system clock unless given); a clock that jumps wakes
///     the worker.
/// Any other notification goes to the base's handleNotification (a sanity request is answered).
class ClientWorker : public Orvik::Utility::NotificationQueueWorker, private NetworkListener
{
public:
    class Settings
    {
    public:
        /// The safety deadline of a confirmed request on the wire: well past the network's own time-out
        /// with its retries (3 s and 3 retries on a real network).
        Poco::UInt32 transactionDeadlineMs = 60000;
        Poco::UInt32 whoIsWindowMs = 3000;
    };

    /// `pQueue` is the client queue (not owned; null: the worker owns one). `network` and `clock` are
    /// not owned and must outlive the worker. Without settings: the defaults above.
    ClientWorker(Poco::NotificationQueue* pQueue, Network& network);
    ClientWorker(Poco::NotificationQueue* pQueue, Network& network, const Settings& settings,
                 Clock& clock = Clock::system());
    ~ClientWorker() override;

    /// Starts `pRequest` on the caller's thread when a running worker on an open network serves
    /// `pClientQueue`, and returns true; the request is then answered as if the worker had taken it from
    /// its queue. False, with nothing done, when no worker serves the queue (the caller posts it there) and
    /// for a Who-Is, whose answer window the worker's thread keeps.
    static bool startDirectly(Poco::NotificationQueue* pClientQueue,
                              const NotificationRequest::Ptr& pRequest);

    /// Starts run() on the worker's own thread.
    void start();
    /// Posts the stop request (to the front of the queue) and waits for the thread to end. Does nothing
    /// when the thread is not running.
    void stop();

    const Settings& getSettings() const { return _settings; }

    /// The worker's loop (normally on its own thread through start()).
    void run() override;

private:
    static constexpr Poco::Int64 _PAUSED = std::numeric_limits<Poco::Int64>::max();

    class Transaction
    {
    public:
        NotificationRequest::Ptr pRequest;
        /// On the worker's clock; _PAUSED while the network's queue holds it.
        Poco::Int64 deadline = 0;
    };

    void onReply(Poco::UInt32 transactionId, NetworkReply reply) override;
    void onUnreadReply(Poco::UInt32 transactionId, std::unique_ptr<UnreadReply> pReply) override;
    void onIAm(const DataResponseWhoIs& iAm) override;
    void onCOVNotification(const DataResponseCOV& notification) override;
    void onQueueing(Poco::UInt32 transactionId, bool waiting) override;

    /// False (and reported) when the network could not be opened.
    bool openNetwork();
    /// True when `pNf` was the stop request.
    bool dispatch(Poco::AutoPtr<Poco::Notification> pNf);
    void startRequest(NotificationRequest::Ptr pRequest);
    void startWhoIs(const NotificationRequest::Ptr& pRequest);
    static std::mutex& servingMutex();
    /// The running workers by the client queue they serve; under servingMutex().
    static std::map<Poco::NotificationQueue*, ClientWorker*>& serving();
    void serveDirectly(bool on);

    /// `offThread`: on a requester's thread, which wakes the worker when the deadline comes before its wait
    /// ends.
    void startTransaction(const NotificationRequest::Ptr& pRequest, bool offThread);
    /// Keeps the transaction with its deadline (and a SubscribeCOV's subscriber) and returns its id.
    Poco::UInt32 openTransaction(const NotificationRequest::Ptr& pRequest, bool offThread);
    /// With _transactionsMutex held.
    Poco::UInt32 newTransactionId();
    /// Removes the open transaction and returns its request; null when it is not open.
    NotificationRequest::Ptr takeTransaction(Poco::UInt32 transactionId);
    void takeQueueing(Poco::UInt32 transactionId, bool waiting);
    void takeIAm(const DataResponseWhoIs& iAm);
    void takeCOVNotification(const DataResponseCOV& notification);
    void expireDeadlines();
    /// Removes the transactions whose deadline has passed at `now`.
    std::vector<std::pair<Poco::UInt32, NotificationRequest::Ptr>> takeExpired(Poco::Int64 now);
    long millisecondsToNextDeadline();
    void endAllOpen();
    void endOnNetwork(Poco::UInt32 transactionId);
    static void deliver(const NotificationRequest& request, const Poco::AutoPtr<Poco::Notification>& pReply);

    Network& _network;
    const Settings _settings;
    Clock& _clock;
    Poco::Thread _thread;
    bool _networkOpen = false;
    Poco::UInt32 _lastTransactionId = 0;
    /// Every call into the network after open(): from the worker's thread and the requesters'.
    std::mutex _networkMutex;
    /// The open transactions, the COV subscribers and the end of the worker's wait: started on the
    /// worker's or a requester's thread, answered on the network's.
    std::mutex _transactionsMutex;
    std::map<Poco::UInt32, Transaction> _transactions;
    std::map<Poco::UInt32, Poco::UInt64> _covSubscribers;
    /// When the worker's wait ends on its clock (the earliest deadline when it last looked).
    Poco::Int64 _wakeAt = _PAUSED;
    std::vector<Transaction> _whoIsWindows;
};

}  // namespace Orvik::BACnet::Client
