#pragma once

#include "Orvik_BACnet/Clock.h"

#include <Poco/Types.h>

#include <bitset>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace Orvik::BACnet
{

/// The confirmed-request transactions of a station, below both its client (a Network's requests) and its
/// server (confirmed COV notifications): invoke ids, the APDU time-out with its retries, the segment timer
/// while a segmented answer comes in, the limit of outstanding requests per device and per shared link with a
/// queue for the rest, and the wait for a device's address.
///
/// A transaction is known by its owner's transaction id (a network's: the client worker's, Network.h);
/// its "device" is whatever shares one space of invoke ids and one outstanding limit. It goes through:
///   - waiting: queued behind the device's outstanding requests or its link's, or for the device's
///     address. Waiting requests of the devices of one link go out in the order they were opened, as
///     the link's slots free; no timer runs for them;
///   - sent: it has an invoke id (0 to 255, unique among the device's sent transactions; ids rotate, so
///     a late answer rarely meets a new request under the same id) and an APDU timer. When the timer
///     runs out the request is sent again under the same invoke id, up to apduRetries times; then the
///     transaction has timed out;
///   - receiving segments (after segmentReceived): the segment timer runs instead; it is not retried.
/// A transaction leaves the table exactly once: complete() (its answer), end() (the client gave up on
/// it) or expire() (timed out). Leaving frees its invoke id and sends the device's next waiting request.
///
/// The table does no I/O and has no thread. Its owner calls expire() when millisecondsToNextTimer() has
/// passed on the clock (and when the clock jumps, see Clock). The Transmit, FindDevice and Queueing
/// functions are called on the thread of the call that triggers them, with the table's lock held: they
/// must only hand the request to the wire (or schedule it, or queue the news) and must not call the
/// table. A Transmit that throws counts
/// as a lost datagram: the timer sends it again. Every member function is thread-safe.
class TransactionTable
{
public:
    class Settings
    {
    public:
        /// Real BACnet defaults; tests use short ones.
        Poco::UInt32 apduTimeoutMs = 3000;
        Poco::UInt32 apduRetries = 3;
        Poco::UInt32 segmentTimeoutMs = 2000;
        /// Outstanding (sent, unanswered) requests per device, unless setLimits says otherwise.
        Poco::UInt32 maxOutstanding = 4;
        /// Open transactions in all (sent and waiting); open() refuses more.
        std::size_t maxOpen = 4096;
    };

    /// Sends the request of a transaction, the first time or again, under `invokeId`.
    using Transmit = std::function<void(Poco::UInt8 invokeId)>;
    /// Asks the network for the address of a device (a Who-Is limited to its instance).
    using FindDevice = std::function<void(Poco::UInt32 deviceInstance)>;
    /// Told when open() leaves a transaction waiting (true), and when such a transaction goes out at last
    /// (false): the client worker's safety deadline does not run while a request waits in the queue.
    using Queueing = std::function<void(Poco::UInt32 transactionId, bool waiting)>;

    /// A link that devices share, such as the one router to a slow field bus: at most maxOutstanding
    /// requests of all its devices together are outstanding.
    class Link
    {
    public:
        Poco::UInt32 id = 0;
        Poco::UInt32 maxOutstanding = 1;
    };

    /// A transaction that left the table by end() or expire().
    class Ended
    {
    public:
        Poco::UInt32 transactionId = 0;
        Poco::UInt32 deviceInstance = 0;
        /// The invoke id it was sent under; empty when it never went out (it waited).
        std::optional<Poco::UInt8> invokeId;
        /// A segmented answer was coming in: the peer should be told (Abort).
        bool receivingSegments = false;
    };

    explicit TransactionTable(const Settings& settings, Clock& clock = Clock::system(),
                              FindDevice findDevice = nullptr, Queueing queueing = nullptr);

    const Settings& getSettings() const { return _settings; }
    Clock& getClock() const { return _clock; }

    /// The outstanding-request limit of one device (at least 1, at most 256) and the link it shares
    /// (none: the device's own limit only). A link's limit (at least 1) is the one set last for any of
    /// its devices. Raised limits send waiting requests at once.
    void setLimits(Poco::UInt32 deviceInstance, Poco::UInt32 maxOutstanding,
                   std::optional<Link> link = std::nullopt);

    /// Opens a transaction for a request to `deviceInstance`: sends it at once (Transmit) when the device
    /// has a free slot and its address is known, else queues it. With an unknown address the table asks
    /// FindDevice and waits for bind(), one APDU time-out per try with the same retries; without an
    /// answer the waiting transactions time out. Throws Poco::ExistsException for a transaction id that
    /// is open and Poco::PoolOverflowException when maxOpen transactions are open.
    void open(Poco::UInt32 transactionId, Poco::UInt32 deviceInstance, Transmit transmit,
              bool addressKnown = true);

    /// The device's address is known now: its requests that wait for it go out (up to its limit).
    void bind(Poco::UInt32 deviceInstance);
    /// True while requests to the device wait for its address (FindDevice was asked).
    bool awaitsAddress(Poco::UInt32 deviceInstance) const;

    /// The sent transaction of the device with `invokeId`, left open; empty when there is none.
    std::optional<Poco::UInt32> find(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId) const;

    /// The final answer (or error) for `invokeId` came from the device: ends its transaction and returns
    /// its id; empty when no sent transaction has that invoke id (a late or stray answer: drop it).
    std::optional<Poco::UInt32> complete(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId);

    /// A segment of the answer came in: the segment timer starts again. Returns the transaction id;
    /// empty when no sent transaction has that invoke id.
    std::optional<Poco::UInt32> segmentReceived(Poco::UInt32 deviceInstance, Poco::UInt8 invokeId);

    /// Ends a transaction that is open (the client stopped waiting for it); a waiting one is dropped
    /// from its queue. Empty when the transaction is not open (it ended before).
    std::optional<Ended> end(Poco::UInt32 transactionId);

    /// Sends again what is due for a retry and ends what has no retry left; returns the transactions
    /// that timed out, which the owner answers with the time-out error.
    std::vector<Ended> expire();

    /// Milliseconds on the clock until the next timer runs out (0: due now); -1 without timers.
    Poco::Int64 millisecondsToNextTimer() const;

    /// Open transactions (sent and waiting).
    std::size_t size() const;

    /// Forgets every transaction (the network closes); nothing is sent or reported for them.
    void clear();

private:
    enum State
    {
        WAITING,
        SENT,
        RECEIVING_SEGMENTS
    };

    class Transaction
    {
    public:
        Poco::UInt32 deviceInstance = 0;
        Transmit transmit;
        State state = WAITING;
        Poco::UInt8 invokeId = 0;
        Poco::Int64 deadline = 0;
        Poco::UInt32 retriesLeft = 0;
        /// When it was opened, among all transactions: the order of a link's queue.
        Poco::UInt64 arrival = 0;
        /// Reported waiting (Queueing): its sending is reported too.
        bool reportedWaiting = false;
        /// Sent: the link whose slot it takes.
        std::optional<Poco::UInt32> link;
    };

    class Device
    {
    public:
        std::deque<Poco::UInt32> waiting;
        std::bitset<256> invokeIdsInUse;
        Poco::UInt8 lastInvokeId = 255;
        /// 0: the settings' limit.
        Poco::UInt32 maxOutstanding = 0;
        std::optional<Poco::UInt32> link;
        /// Looking for the device's address: the deadline of the current try and the tries left.
        bool findingAddress = false;
        Poco::Int64 findDeadline = 0;
        Poco::UInt32 findRetriesLeft = 0;
    };

    class LinkState
    {
    public:
        std::set<Poco::UInt32> devices;
        Poco::UInt32 outstanding = 0;
        Poco::UInt32 maxOutstanding = 1;
    };

    using InvokeKey = std::pair<Poco::UInt32, Poco::UInt8>;

    Device& device(Poco::UInt32 deviceInstance);
    void moveToLink(Poco::UInt32 deviceInstance, Device& aDevice, std::optional<Link> link);
    /// Sends what may go out now of the device's queue, or of its link's queues.
    void sendWaiting(Device& aDevice);
    void sendWaitingOnLink(Poco::UInt32 linkId);
    bool hasFreeSlot(const Device& aDevice) const;
    bool mayGoOut(const Device& aDevice) const;
    void sendFront(Device& aDevice);
    void send(Poco::UInt32 transactionId, Transaction& transaction, Device& aDevice);
    static void transmit(const Transaction& transaction);
    void startFinding(Poco::UInt32 deviceInstance, Device& aDevice);
    void askForAddress(Poco::UInt32 deviceInstance) const;
    Ended remove(std::map<Poco::UInt32, Transaction>::iterator it);
    void expireFinding(Poco::Int64 now, std::vector<Ended>& timedOut);
    Poco::Int64 now() const { return _clock.milliseconds(); }

    const Settings _settings;
    Clock& _clock;
    const FindDevice _findDevice;
    const Queueing _queueing;
    mutable std::mutex _mutex;
    Poco::UInt64 _arrivals = 0;
    std::map<Poco::UInt32, Transaction> _transactions;
    std::map<InvokeKey, Poco::UInt32> _byInvokeId;
    /// Kept for every device asked so far (the invoke ids go on rotating); as many as the apps ask.
    std::map<Poco::UInt32, Device> _devices;
    std::map<Poco::UInt32, LinkState> _links;
};

}  // namespace Orvik::BACnet
