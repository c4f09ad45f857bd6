#include "Orvik_BACnetClient/NotificationRequestRR.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

namespace Orvik::BACnet::Client
{

NotificationRequestRR::NotificationRequestRR(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                                             Poco::UInt32 requestId, const DataPropertyKey& key,
                                             const ReadRange::Range& range)
    : NotificationRequest(READ, pReplyQueue, replyTicket, requestId), _key(key), _range(range)
{
}

NotificationRequestRR::~NotificationRequestRR() = default;

void NotificationRequestRR::transmit(Network& network, Poco::UInt32 transactionId) const
{
    network.sendReadRange(transactionId, _key, _range);
}

NotificationResponseBase::Ptr NotificationRequestRR::answer(const NetworkReply& reply) const
{
    if (const auto* pResult = std::get_if<ReadRangeAck::Result>(&reply.payload))
    {
        return new NotificationResponsePropertyAccess<ReadRangeAck::Result>(getRequestId(), RESULT, READ,
                                                                            *pResult, _key);
    }
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestRR::answerError(const DataError& error) const
{
    return new NotificationResponsePropertyAccess<DataError>(getRequestId(), ERROR, READ, error, _key);
}

}  // namespace Orvik::BACnet::Client
