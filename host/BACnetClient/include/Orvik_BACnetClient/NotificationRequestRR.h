#pragma once

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationRequest.h"
#include "Orvik_BACnetClient/ReadRange.h"

namespace Orvik::BACnet::Client
{

/// ReadRange of a list property (a trend log's log buffer). Reply:
/// NotificationResponsePropertyAccess<ReadRangeAck::Result>, or
/// NotificationResponsePropertyAccess<DataError>; over BACnet/IP it reaches the requester's queue
/// unread (NotificationResponseUnread), and ServiceHelper's waits read it.
class NotificationRequestRR : public NotificationRequest
{
public:
    NotificationRequestRR(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                          Poco::UInt32 requestId, const DataPropertyKey& key, const ReadRange::Range& range);

    const DataPropertyKey& getKey() const { return _key; }
    const ReadRange::Range& getRange() const { return _range; }

    void transmit(Network& network, Poco::UInt32 transactionId) const override;
    NotificationResponseBase::Ptr answer(const NetworkReply& reply) const override;
    NotificationResponseBase::Ptr answerError(const DataError& error) const override;

protected:
    ~NotificationRequestRR() override;

private:
    const DataPropertyKey _key;
    const ReadRange::Range _range;
};

}  // namespace Orvik::BACnet::Client
