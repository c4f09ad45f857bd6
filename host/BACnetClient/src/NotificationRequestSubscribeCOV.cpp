#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

namespace Orvik::BACnet::Client
{

NotificationRequestSubscribeCOV::NotificationRequestSubscribeCOV(Poco::NotificationQueue* pReplyQueue,
                                                                 Poco::UInt64 replyTicket,
                                                                 Poco::UInt32 requestId,
                                                                 const DataPropertyKey& key,
                                                                 const Parameters& parameters)
    : NotificationRequest(parameters.cancelation ? UNSUBSCRIBE : SUBSCRIBE, pReplyQueue, replyTicket,
                          requestId),
      _key(key),
      _parameters(parameters)
{
}

NotificationRequestSubscribeCOV::~NotificationRequestSubscribeCOV() = default;

void NotificationRequestSubscribeCOV::transmit(Network& network, Poco::UInt32 transactionId) const
{
    network.sendSubscribeCOV(transactionId, _key, _parameters);
}

NotificationResponseBase::Ptr NotificationRequestSubscribeCOV::answer(const NetworkReply& reply) const
{
    if (std::holds_alternative<NetworkReply::Ack>(reply.payload))
        return new NotificationResponsePropertyAccess<int>(getRequestId(), RESULT, getAction(), 0, _key);
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestSubscribeCOV::answerError(const DataError& error) const
{
    return new NotificationResponsePropertyAccess<DataError>(getRequestId(), ERROR, getAction(), error, _key);
}

}  // namespace Orvik::BACnet::Client
