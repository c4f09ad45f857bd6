#pragma once

#include "AnswerHandOver.h"
#include "AnswerReassembly.h"
#include "BindingTable.h"
#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Clock.h"
#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "PeerAddress.h"

#include <map>
#include <memory>
#include <optional>
#include <utility>

namespace Orvik::BACnet::Client::IP
{

class ApduSender;
class TimerDriver;

/// The client worker's confirmed requests on the station's TransactionTable. Each part of a request
/// (ConfirmedRequest) is opened in the table under its device, within the limits of the device and of
/// the network behind its router; the table sends it (shaped to the device's max APDU) when it gives
/// an invoke id, or asks for the device's address with a Who-Is first.
///
/// An answer counts only from the address the part went to, under its invoke id and, for ACKs and
/// Errors, of its service; a segmented Complex-ACK is put together (AnswerReassembly) with Segment-ACKs.
/// A transaction ends in the AnswerHandOver: with the request's reply, abort-apdu-too-long for a
/// part larger than the device takes, the abort of an answer that cannot be taken, the time-out error
/// when the table gives up, or a router's refusal; the ACK of a request that any ACK ends
/// (ConfirmedRequest::ackEndsTransaction) is handed over unread with its request.
///
/// Not thread-safe: the transport calls every function under its lock, which the table's Transmit and
/// FindDevice functions run under too (so a part too large for the device ends on the timer driver,
/// not under the table's lock). The answers' hand-over is called under it.
class ClientTransactions
{
public:
    /// The objects given must outlive this one.
    ClientTransactions(const BACnetIPNetwork::Settings& settings, Clock& clock, BindingTable& bindings,
                       ApduSender& sender, TimerDriver& timers);

    /// Before the first transaction: where the transactions end.
    void open(AnswerHandOver& answers) { _pAnswers = &answers; }
    /// Forgets every transaction; nothing is sent or answered for them.
    void clear();

    /// Throws Poco::ExistsException for an open id, Poco::PoolOverflowException when too many are open.
    void start(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest);
    /// The worker gave up on it: a segmented answer coming in is aborted.
    void end(Poco::UInt32 transactionId);
    /// The device's I-Am bound its address: its requests that wait for it go out.
    void bound(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding);
    /// An answer (not a request) from `peer`; false: no request waits for it.
    bool receiveAnswer(const PeerAddress& peer, const Codec::Apdu::Message& apdu);
    /// `router` refused `network`: the requests sent through it there end with `error`.
    void endRequestsVia(const Codec::Bvll::Endpoint& router, Poco::UInt16 network, const DataError& error);
    /// Retries what is due and ends what timed out; milliseconds until the next timer (negative: none).
    Poco::Int64 expire();

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
    };
    using Requests = std::map<Poco::UInt32, OpenRequest>;

    void openPart(Poco::UInt32 transactionId, OpenRequest& request);
    void limitOutstanding(Poco::UInt32 deviceInstance, const BindingTable::Binding& binding);
    void transmit(Poco::UInt32 transactionId, Poco::UInt8 invokeId);
    void findDevice(Poco::UInt32 deviceInstance);
    void failOversized(Poco::UInt32 transactionId, Poco::UInt32 part);
    /// True when the unsegmented `apdu` is what the part on the wire waits for; `error` is its error
    /// for an Error, Reject or Abort.
    bool awaited(Poco::UInt32 transactionId, const ConfirmedRequest& confirmed,
                 const Codec::Apdu::Message& apdu, DataError& error) const;
    void receiveSegment(Requests::iterator it, const Codec::Apdu::Message& apdu);
    /// Aborts the segmented answer coming in and ends the part with the abort as its error.
    void abortAnswer(Requests::iterator it, std::uint8_t reason);
    void sendAbort(const OpenRequest& request, std::uint8_t reason);
    void takeAck(Requests::iterator it, const Codec::OctetView& serviceData);
    void completePart(Requests::iterator it, ConfirmedRequest::Outcome outcome);
    void finish(Requests::iterator it, const NetworkReply& reply);
    void forget(Requests::iterator it);

    const BACnetIPNetwork::Settings& _settings;
    BindingTable& _bindings;
    ApduSender& _sender;
    TimerDriver& _timers;
    AnswerHandOver* _pAnswers = nullptr;
    TransactionTable _table;
    AnswerReassembly _reassembly;
    Requests _requests;
};

}  // namespace Orvik::BACnet::Client::IP
