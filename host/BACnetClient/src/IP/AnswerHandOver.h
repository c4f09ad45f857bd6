#pragma once

#include "Orvik_BACnetClient/NetworkListener.h"

#include <Poco/Types.h>

#include <memory>
#include <optional>
#include <vector>

namespace Orvik::BACnet::Client::IP
{

/// The listener the client's transactions call (ClientTransactions), between them and the client's
/// listener. While the transport takes in the datagrams waiting on its socket (hold() to release()),
/// the answers that end transactions are kept, and the transport hands them over together (handOver())
/// once it has let go of its lock: posting the requesters' replies then does not hold up a requester
/// that sends under that lock, and a requester with several requests outstanding is woken once for the
/// answers that came together. The ACK of a request that any ACK ends (a page of log records) comes
/// unread (onUnreadReply, an UnreadAck) and goes on unread: the client's listener has it read on the
/// requester's thread. Everything else, and answers outside (time-outs on the timer thread), goes to
/// the client's listener at once.
///
/// Not thread-safe: every call but handOver() under the transport's lock.
class AnswerHandOver : public NetworkListener
{
public:
    /// The end of one transaction: its reply, or its answer still to read.
    struct Answer
    {
        Poco::UInt32 transactionId = 0;
        std::optional<NetworkReply> reply;
        std::unique_ptr<UnreadReply> pUnread;
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
    void onUnreadReply(Poco::UInt32 transactionId, std::unique_ptr<UnreadReply> pReply) override;
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
    void keepOrHandOver(Answer answer);
    static void handOverOne(NetworkListener& listener, Answer& answer);

    NetworkListener* _pListener = nullptr;
    bool _holding = false;
    Answers _kept;
};

}  // namespace Orvik::BACnet::Client::IP
