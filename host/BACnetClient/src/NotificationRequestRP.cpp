#include "Orvik_BACnetClient/NotificationRequestRP.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

namespace Orvik::BACnet::Client
{

NotificationRequestRP::NotificationRequestRP(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                                             Poco::UInt32 requestId, const DataPropertyKey& key)
    : NotificationRequest(READ, pReplyQueue, replyTicket, requestId), _key(key)
{
}

NotificationRequestRP::~NotificationRequestRP() = default;

void NotificationRequestRP::transmit(Network& network, Poco::UInt32 transactionId) const
{
    network.sendReadProperty(transactionId, _key);
}

NotificationResponseBase::Ptr NotificationRequestRP::answer(const NetworkReply& reply) const
{
    if (const auto* pValue = std::get_if<ValueContainer>(&reply.payload))
        return new NotificationResponsePropertyAccess<ValueContainer>(getRequestId(), RESULT, READ, *pValue,
                                                                      _key);
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestRP::answerError(const DataError& error) const
{
    return new NotificationResponsePropertyAccess<DataError>(getRequestId(), ERROR, READ, error, _key);
}

}  // namespace Orvik::BACnet::Client
