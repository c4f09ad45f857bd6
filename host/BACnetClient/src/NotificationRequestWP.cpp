#include "Orvik_BACnetClient/NotificationRequestWP.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

namespace Orvik::BACnet::Client
{

NotificationRequestWP::NotificationRequestWP(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                                             Poco::UInt32 requestId, const DataPropertyKey& key,
                                             Poco::UInt32 priority, const ValueContainer& value)
    : NotificationRequest(WRITE, pReplyQueue, replyTicket, requestId),
      _key(key),
      _priority(priority),
      _value(value)
{
}

NotificationRequestWP::~NotificationRequestWP() = default;

void NotificationRequestWP::transmit(Network& network, Poco::UInt32 transactionId) const
{
    network.sendWriteProperty(transactionId, _key, _priority, _value);
}

NotificationResponseBase::Ptr NotificationRequestWP::answer(const NetworkReply& reply) const
{
    if (std::holds_alternative<NetworkReply::Ack>(reply.payload))
        return new NotificationResponsePropertyAccess<int>(getRequestId(), RESULT, WRITE, 0, _key);
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestWP::answerError(const DataError& error) const
{
    return new NotificationResponsePropertyAccess<DataError>(getRequestId(), ERROR, WRITE, error, _key);
}

}  // namespace Orvik::BACnet::Client
