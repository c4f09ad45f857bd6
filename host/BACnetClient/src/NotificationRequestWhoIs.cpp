#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"

#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/NotificationResponse.h"

namespace Orvik::BACnet::Client
{

namespace
{

const DataError END_OF_WINDOW(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME);

}  // namespace

NotificationRequestWhoIs::NotificationRequestWhoIs(Poco::NotificationQueue* pReplyQueue,
                                                   Poco::UInt64 replyTicket, Poco::UInt32 requestId,
                                                   const DataType::BACnetAddress& address,
                                                   Poco::UInt32 lowLimit, Poco::UInt32 highLimit)
    : NotificationRequest(BROADCAST, pReplyQueue, replyTicket, requestId),
      _address(address),
      _lowLimit(lowLimit),
      _highLimit(highLimit)
{
}

NotificationRequestWhoIs::~NotificationRequestWhoIs() = default;

bool NotificationRequestWhoIs::covers(const DataResponseWhoIs& iAm) const
{
    return iAm.deviceInstance >= _lowLimit && iAm.deviceInstance <= _highLimit;
}

void NotificationRequestWhoIs::transmit(Network& network, Poco::UInt32) const
{
    network.sendWhoIs(_address, _lowLimit, _highLimit);
}

NotificationResponseBase::Ptr NotificationRequestWhoIs::answer(const NetworkReply& reply) const
{
    return answerError(errorOf(reply));
}

NotificationResponseBase::Ptr NotificationRequestWhoIs::answerError(const DataError& error) const
{
    return new NotificationResponse<DataError>(getRequestId(), ERROR, BROADCAST, error);
}

NotificationResponseBase::Ptr NotificationRequestWhoIs::answerIAm(const DataResponseWhoIs& iAm) const
{
    return new NotificationResponse<DataResponseWhoIs>(getRequestId(), RESULT, BROADCAST, iAm);
}

}  // namespace Orvik::BACnet::Client

namespace Orvik::BACnet::Client
{

NotificationResponseBase::Ptr NotificationRequestWhoIs::answerEndOfWindow() const
{
    return answerError(END_OF_WINDOW);
}

bool NotificationRequestWhoIs::isEndOfWindow(const DataError& error)
{
    return error == END_OF_WINDOW;
}

bool NotificationRequestWhoIs::isEndOfWindow(const NotificationResponseBase& reply)
{
    const auto* pError = dynamic_cast<const NotificationResponse<DataError>*>(&reply);
    return pError != nullptr && isEndOfWindow(pError->getResponse());
}

}  // namespace Orvik::BACnet::Client
