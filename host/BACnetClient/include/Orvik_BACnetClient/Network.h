#pragma once

#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NetworkListener.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/ReadRange.h"

#include <Poco/Types.h>

#include <vector>

namespace Orvik::BACnet::Client
{

/// A BACnet network as the client worker uses it: it carries out service requests and reports what
/// comes back to a NetworkListener. Implementations: Simulation::SimulatedSite (in-process devices
/// described by a site file) and IP::BACnetIPNetwork (real devices over UDP).
///
/// Who calls whom, and on which thread:
///   - The client worker calls open() once, then the send calls and endTransaction() from its own
///     thread or a requester's (a request started there, ClientWorker::startDirectly), then close()
///     once. The calls never overlap: the worker makes them one at a time.
///   - The network calls the listener from threads of its own (a receive thread, a timer thread), one
///     call at a time or concurrently; the listener only posts what it gets to a queue (the worker's, or
///     for an answer the requester's), so it may be called with the network's locks held, but it never
///     calls back into the network.
///   - A send may end its transaction before it returns, calling listener.onReply (or onQueueing) on
///     the calling thread: the worker keeps the transaction before it sends, so the answer finds it. A
///     send that throws has called neither for its transaction.
///   - Every call of the worker returns at once: it never waits for a device. Nothing here throws for
///     a device that is off or an answer that is lost; a send that throws (a request the network cannot
///     even take: too large, too many open transactions) has opened no transaction and is answered by
///     the worker with an error at once.
///
/// Confirmed requests (every send call but sendWhoIs) are transactions:
///   - The worker names each by a transaction id, unique among the transactions it has open (it counts
///     up through 32 bits). The network maps it to a BACnet invoke id of its own (0 to 255, per device)
///     and keeps the transaction state: the address binding of the device (a Who-Is limited to the
///     instance when the address is not known yet), the APDU time-out and its retries, segment timers
///     and Segment-ACKs of a segmented answer, and the limit of outstanding requests per device with a
///     queue for the rest. TransactionTable does that bookkeeping for any implementation.
///   - The network ends every transaction exactly once with listener.onReply(transactionId, reply)
///     (or onUnreadReply: the same answer still to read, a page of log records, which the worker then
///     reads on the requester's thread): the device's answer; DataError(class, code) for a BACnet
///     Error, DataError(ERROR_CLASS_REJECT, ERROR_CODE_REJECT_...) for a Reject,
///     DataError(ERROR_CLASS_ABORT, ERROR_CODE_ABORT_...) for an Abort; DataError::timeout() when the
///     device did not answer within the APDU time-out and retries (or its address was not found, or
///     a segmented answer stopped coming). An answer is accepted only from the device the request went
///     to, with the transaction's invoke id; a late answer to an earlier try of the same request is as
///     good as any.
///   - endTransaction(transactionId): the worker has stopped waiting (its own safety deadline ran out,
///     or it stops). The network forgets the transaction: it frees the invoke id (so the 8-bit ids are
///     never used up), drops the request from its queue if it was not sent yet, aborts a segmented
///     answer that is coming in, and does not report the transaction any more; an onReply that is on its
///     way in that moment is dropped by the worker. An id that is not open is ignored.
///   - A transaction that cannot go out at once (its device's or its link's requests are outstanding,
///     or the device's address is sought) is reported with listener.onQueueing(transactionId, true),
///     and again with false when it goes out; TransactionTable reports both through its Queueing
///     function. A queue behind a slow router may hold a request for minutes.
///   - The worker keeps one overall safety deadline per transaction, longer than the network's time-out
///     with its retries; it does not run while the network reports the transaction queued. A network
///     that never ends a transaction still gets it answered (with the time-out error), and
///     endTransaction follows.
///
/// sendWhoIs is unconfirmed: it has no transaction. Every device in range that hears it answers with an
/// I-Am, which the network reports through listener.onIAm (as it reports every I-Am it receives, asked
/// for or not). The worker decides how long it listens (its Who-Is answer window) and which I-Ams match.
///
/// COV: a SubscribeCOV is a confirmed request like any other (its answer is the acknowledgement). The
/// notifications of the subscription then arrive through listener.onCOVNotification, carrying the
/// subscriber process identifier of the subscription, until it is cancelled or its lifetime ends. A
/// confirmed COV notification is acknowledged by the network itself.
///
/// close() stops delivery: after it returns the listener is not called any more, the open transactions
/// are forgotten, and nothing more is sent. Closing a closed network does nothing.
///
/// For an implementation:
///   - The worker's calls and the network's own threads run at the same time (an endTransaction while
///     the answer comes in): keep the state behind a lock, or in a TransactionTable, which has its own.
///   - The payload of a reply fits the service (NetworkReply.h); an answer of another kind (an ACK of
///     the wrong service) is better dropped by the network, since the request turns it into the error
///     services / other.
///   - The timers run on a Clock given to the network (Clock::system() in production). A timer thread
///     that waits in real time registers a waker (Clock::addWaker), so a test clock that jumps makes
///     the due timers run at once.
///   - Every I-Am that arrives binds its device's address (TransactionTable::bind releases the requests
///     that wait for it). Per-device and per-link limits: TransactionTable::setLimits.
///   - The contract suite (tests/BACnetClient/NetworkContractTest.cpp) runs against every
///     implementation: add one target for it there.
class Network
{
public:
    virtual ~Network() = default;

    /// Starts delivering to `listener`. Called once, before any send.
    virtual void open(NetworkListener& listener) = 0;
    /// Stops delivering; see above.
    virtual void close() = 0;

    /// `destination`: the default BACnetAddress is the global broadcast; a network number alone the
    /// broadcast on that network; with a MAC one station.
    virtual void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                           Poco::UInt32 highLimit) = 0;
    virtual void sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key) = 0;
    virtual void sendReadPropertyMultiple(
        Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
        const std::vector<NotificationRequestRPM::Parameter>& parameters) = 0;
    virtual void sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                               const ReadRange::Range& range) = 0;
    /// `priority` 1 (highest) to 16; a NULL value relinquishes the priority's slot.
    virtual void sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                   Poco::UInt32 priority, const ValueContainer& value) = 0;
    /// key.propertyRef.propertyIdentifier MAX_BACNET_PROPERTY_ID (4194303) subscribes the whole object
    /// (SubscribeCOV), any other property that property alone (SubscribeCOVProperty).
    virtual void sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                  const NotificationRequestSubscribeCOV::Parameters& parameters) = 0;

    /// The worker stops waiting for the transaction; see above.
    virtual void endTransaction(Poco::UInt32 transactionId) = 0;
};

}  // namespace Orvik::BACnet::Client
