#include "Orvik_BACnetClient/NotificationRequestRPM.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"

namespace Orvik::BACnet::Client
{

NotificationRequestRPM::NotificationRequestRPM(Poco::NotificationQueue* pReplyQueue, Poco::UInt64 replyTicket,
                                               Poco::UInt32 requestId, Poco::UInt32 deviceInstance,
                                               std::vector<Parameter> parameters)
    : NotificationRequest(READ, pReplyQueue, replyTicket, requestId),
      _deviceInstance(deviceInstance),
      _parameters(std::move(parameters))
{
}

NotificationRequestRPM::~NotificationRequestRPM() = default;

void NotificationRequestRPM::transmit(Network& network, Poco::UInt32 transactionId) const
{
    network.sendReadPropertyMultiple(transactionId, _deviceInstance, _parameters);
}

NotificationResponseBase::Ptr NotificationRequestRPM::answer(const NetworkReply& reply) const
{
    if (const auto* pValues = std::get_if<std::vector<DataResponseRPM>>(&reply.payload))
    {
        return new NotificationResponseDeviceAccess<std::vector<DataResponseRPM>>(
            getRequestId(), RESULT, READ, *pValues, _deviceInstance);
    }
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestRPM::answerError(const DataError& error) const
{
    return new NotificationResponseDeviceAccess<DataError>(getRequestId(), ERROR, READ, error,
                                                           _deviceInstance);
}

}  // namespace Orvik::BACnet::Client
