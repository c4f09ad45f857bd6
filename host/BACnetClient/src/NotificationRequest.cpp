#include "Orvik_BACnetClient/NotificationRequest.h"

namespace Orvik::BACnet::Client
{

NotificationRequest::NotificationRequest(Action action, Poco::NotificationQueue* pReplyQueue,
                                         Poco::UInt64 replyTicket, Poco::UInt32 requestId)
    : Orvik::Utility::Notification(action, RESULT, pReplyQueue),
      _replyTicket(replyTicket),
      _requestId(requestId)
{
}

NotificationRequest::~NotificationRequest() = default;

DataError NotificationRequest::errorOf(const NetworkReply& reply)
{
    if (const auto* pError = std::get_if<DataError>(&reply.payload))
        return *pError;
    return DataError(ERROR_CLASS_SERVICES, ERROR_CODE_OTHER);
}

}  // namespace Orvik::BACnet::Client
