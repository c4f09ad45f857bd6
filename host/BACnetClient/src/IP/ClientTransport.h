#pragma once

#include "BindingTable.h"
#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/Npdu.h"
#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetClient/NetworkListener.h"
#include "PeerAddress.h"
#include "SegmentAssembler.h"

#include <Poco/Thread.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

namespace Orvik::BACnet::Client::IP
{

class BvllLink;

/// The working part of BACnetIPNetwork (whose header says what it does): the transactions of the
/// client worker on the BVLL link, the device bindings, segment reassembly, and the two threads.
///
/// One lock (_mutex) covers every piece of state and every call of the TransactionTable, so the table's
/// Transmit and FindDevice functions run with it held; the listener is called with it held too (it only
/// queues). The timer thread waits on a lock of its own, so that a clock jump, a new transaction or the
/// link can wake it without taking _mutex.
class ClientTransport
{
public:
    /// Takes the requests for a server of this station (a datagram's NPDU and where it came from).
    using RequestReceiver =
        std::function<void(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu)>;

    ClientTransport(const BACnetIPNetwork::Settings& settings, Clock& clock);
    ~ClientTransport();

    /// Before open(): what a server of this station answers goes to `receiver`, called on the receive
    /// thread: Who-Is, Who-Has, confirmed requests other than COV notifications, Segment-ACKs and a
    /// client's Aborts, and the answers that no request of the client waits for. Without it, confirmed
    /// requests are rejected (unrecognized-service) and the rest is dropped.
    void serveRequestsWith(RequestReceiver receiver) { _serveRequest = std::move(receiver); }
    /// A whole datagram from this station's socket; throws Poco::Exception when the socket refuses it.
    void sendDatagram(const Poco::Net::SocketAddress& destination, const Codec::Octets& datagram);

    void open(NetworkListener& listener);
    void close();
    Poco::Net::SocketAddress localAddress() const;
    Poco::Net::SocketAddress broadcastAddress() const;

    void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit, Poco::UInt32 highLimit);
    /// Opens the transaction of a confirmed request; throws Poco::ExistsException for an open id,
    /// Poco::PoolOverflowException when too many are open, Poco::IllegalStateException when closed.
    void start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest);
    void endTransaction(Poco::UInt32 transactionId);

private:
    /// Where the last try of a request's part went, under which invoke id: only answers from there count.
    using SentKey = std::pair<PeerAddress, Poco::UInt8>;

    class OpenRequest
    {
    public:
        explicit OpenRequest(std::unique_ptr<ConfirmedRequest> aRequest) : pRequest(std::move(aRequest)) {}

        std::unique_ptr<ConfirmedRequest> pRequest;
        /// Counts the parts opened, so that a deferred task can tell whether its part is still on.
        Poco::UInt32 part = 0;
        std::optional<SentKey> sent;
        std::unique_ptr<SegmentAssembler> pSegments;
        std::size_t segmentOctets = 0;
    };
    using Requests = std::map<Poco::UInt32, OpenRequest>;

    // ---- with _mutex held ------------------------------------------------------------------------------
    void addStatic(const BACnetIPNetwork::StaticBinding& staticBinding);
    void openPart(Poco::UInt32 transactionId, OpenRequest& request);
    void limitOutstanding(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding);
    void transmit(Poco::UInt32 transactionId, Poco::UInt8 invokeId);
    void findDevice(Poco::UInt32 deviceInstance);
    void failOversized(Poco::UInt32 transactionId, Poco::UInt32 part);
    void sendTo(const PeerAddress& peer, const Codec::Octets& apdu, bool expectingReply);
    void broadcast(const DataType::BACnetAddress& destination, const Codec::Octets& apdu);
    void sendPdu(const PeerAddress& peer, const Codec::Apdu::Header& header);

    void receive(const Codec::Bvll::Endpoint& source, const Codec::OctetView& npdu);
    void receiveNetworkMessage(const PeerAddress& peer, const Codec::Npdu::Message& npdu);
    void receiveUnconfirmed(const PeerAddress& peer, const Codec::Apdu::Message& apdu);
    void receiveIAm(const PeerAddress& peer, const Codec::OctetView& serviceData);
    void receiveConfirmed(const PeerAddress& peer, const Codec::Apdu::Message& apdu);
    /// False: no request waits for it.
    bool receiveAnswer(const PeerAddress& peer, const Codec::Apdu::Message& apdu);
    /// True: the APDU is for the server of this station (see serveRequestsWith).
    bool isForServer(const Codec::Apdu::Message& apdu) const;
    void receiveSegment(Requests::iterator it, const Codec::Apdu::Message& apdu);
    /// Aborts the segmented answer coming in and ends the part with the abort as its error.
    void abortAnswer(Requests::iterator it, std::uint8_t reason);
    void sendAbort(const OpenRequest& request, std::uint8_t reason);
    void completePart(Requests::iterator it, ConfirmedRequest::Outcome outcome);
    void endRequestsVia(const Codec::Bvll::Endpoint& router, Poco::UInt16 network, const DataError& error);
    void forget(Requests::iterator it);
    void releaseSegments(OpenRequest& request);

    void runTimers();
    void runDue();
    Poco::Int64 millisecondsToNextTimer() const;
    void kickTimers();

    const BACnetIPNetwork::Settings _settings;
    Clock& _clock;
    std::unique_ptr<BvllLink> _pLink;

    mutable std::mutex _mutex;
    NetworkListener* _pListener = nullptr;
    RequestReceiver _serveRequest;
    bool _stopping = false;
    BindingTable _bindings;
    std::unique_ptr<TransactionTable> _pTransactions;
    Requests _requests;
    std::size_t _reassemblyOctets = 0;
    /// Work for the timer thread: what must not run under the TransactionTable's lock (ending the
    /// transaction whose Transmit found its request too large).
    std::deque<std::function<void()>> _deferred;

    Poco::Thread _timerThread;
    Poco::UInt64 _waker = 0;
    std::mutex _timerMutex;
    std::condition_variable _timerWake;
    bool _timerKicked = false;
};

}  // namespace Orvik::BACnet::Client::IP
