#pragma once

#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/NetworkReply.h"
#include "Orvik_BACnetClient/NotificationResponseBase.h"
#include "Orvik_Utility/Notification.h"

#include <Poco/AutoPtr.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

class Network;

/// A BACnet service request on its way to the client worker. ServiceHelper builds them; the worker
/// carries them out on its Network and posts the reply that the request itself builds (answer(),
/// answerError()) to the requester's reply queue.
///
/// The reply queue is that of the host notification; the reply ticket is the requester's claim on it
/// (see the client worker: a reply never reaches a queue whose owner is gone).
class NotificationRequest : public Orvik::Utility::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationRequest>;

    /// The identifier the requester got back for this request; every reply carries it.
    Poco::UInt32 getRequestId() const { return _requestId; }
    Poco::UInt64 getReplyTicket() const { return _replyTicket; }

    /// Confirmed requests get exactly one answer; the Who-Is (unconfirmed) collects I-Ams for a window.
    virtual bool isConfirmed() const { return true; }

    /// Hands the request to `network` under the worker's `transactionId`.
    virtual void transmit(Network& network, Poco::UInt32 transactionId) const = 0;

    /// The reply notification for what the device answered. An error, or an answer of the wrong kind
    /// for this service, gives the error reply.
    virtual NotificationResponseBase::Ptr answer(const NetworkReply& reply) const = 0;

    /// The error reply: the device answered with an error, did not answer in time, or the client stops.
    virtual NotificationResponseBase::Ptr answerError(const DataError& error) const = 0;

protected:
    NotificationRequest(Action action, Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                        Poco::UInt32 requestId);
    ~NotificationRequest() override;

    /// The error a reply carries; for a reply of the wrong kind, services / other.
    static DataError errorOf(const NetworkReply& reply);

private:
    const Poco::UInt64 _replyTicket;
    const Poco::UInt32 _requestId;
};

}  // namespace Orvik::BACnet::Client
