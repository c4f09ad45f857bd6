#pragma once

#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnetClient/NetworkListener.h"

#include <Poco/Types.h>

#include <memory>
#include <utility>
#include <vector>

namespace Orvik::BACnet::Client::IP
{

/// The listener the client's transactions call (ClientTransactions), between them and the client's
/// listener. While the transport takes in the datagrams waiting on its socket (hold() to release()),
/// the answers that end transactions are kept, and the transport hands them over together (handOver())
/// once it has let go of its lock: building and posting the requesters' replies then does not hold up a
/// requester that sends under that lock, and a requester with several requests outstanding is woken once
/// for the answers that came together. An ACK that any ACK ends the request with (a page of log
/// records) is kept unread with its request and read at the hand-over too, so that the requester does
/// not wait for the lock while it is decoded. Everything else, and answers outside (time-outs on the
/// timer thread), goes to the client's listener at once.
///
/// Not thread-safe: every call but handOver() under the transport's lock.
class AnswerHandOver : public NetworkListener
{
public:
    /// The end of one transaction: its reply, or its request with the ACK still to read.
    struct Answer
    {
        Poco::UInt32 transactionId = 0;
        NetworkReply reply{NetworkReply::Ack()};
        std::unique_ptr<ConfirmedRequest> pUnread;
        Codec::Octets ack;
    };
    using Answers = std::vector<Answer>;

    /// Before the first transaction: the client's listener.
    void open(NetworkListener& listener) { _pListener = &listener; }
    /// Keeps the answers from now on.
    void hold() { _holding = true; }
    /// Stops keeping answers and returns those kept, in the order they came.
    Answers release();
    /// Without the transport's lock.
    static void handOver(NetworkListener& listener, Answers answers);

    void onReply(Poco::UInt32 transactionId, NetworkReply reply) override;
    /// The ACK of `pRequest`, whose ackEndsTransaction() is true; the transaction has ended.
    void onAck(Poco::UInt32 transactionId, std::unique_ptr<ConfirmedRequest> pRequest, Codec::Octets ack);
    void onIAm(const DataResponseWhoIs& iAm) override { _pListener->onIAm(iAm); }
    void onCOVNotification(const DataResponseCOV& notification) override
    {
        _pListener->onCOVNotification(notification);
    }
    void onQueueing(Poco::UInt32 transactionId, bool waiting) override
    {
        _pListener->onQueueing(transactionId, waiting);
    }

private:
    NetworkListener* _pListener = nullptr;
    bool _holding = false;
    Answers _kept;

    static NetworkReply read(Answer& answer);
};

}  // namespace Orvik::BACnet::Client::IP
