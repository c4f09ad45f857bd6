#include "Orvik_BACnetClient/NotificationResponseUnread.h"

namespace Orvik::BACnet::Client
{

NotificationResponseUnread::NotificationResponseUnread(NotificationRequest::Ptr pRequest,
                                                       std::unique_ptr<UnreadReply> pReply)
    : Orvik::Utility::Notification(UNDEFINED, pRequest->getAction()),
      _pRequest(std::move(pRequest)),
      _pReply(std::move(pReply))
{
}

NotificationResponseUnread::~NotificationResponseUnread() = default;

Poco::AutoPtr<Poco::Notification> NotificationResponseUnread::readIfUnread(
    Poco::AutoPtr<Poco::Notification> pNf)
{
    if (auto* pUnread = dynamic_cast<NotificationResponseUnread*>(pNf.get()))
        return pUnread->read();
    return pNf;
}

NotificationResponseBase::Ptr NotificationResponseUnread::read()
{
    if (_pRead.isNull())
    {
        _pRead = _pRequest->answer(_pReply->read());
        _pReply.reset();
    }
    return _pRead;
}

}  // namespace Orvik::BACnet::Client
