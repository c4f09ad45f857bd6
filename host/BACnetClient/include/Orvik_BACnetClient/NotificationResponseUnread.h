#pragma once

#include "Orvik_BACnetClient/NotificationRequest.h"
#include "Orvik_BACnetClient/NotificationResponseBase.h"
#include "Orvik_BACnetClient/UnreadReply.h"
#include "Orvik_Utility/Notification.h"

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>

#include <memory>

namespace Orvik::BACnet::Client
{

/// A reply as the network left it, still to read (a page of log records over BACnet/IP): the client
/// worker posts it from the network's thread, and the requester reads it on its own, so that answers
/// that come while the requester is busy wait in its queue without keeping a network thread busy.
/// Reading gives the reply that the request makes of the answer (NotificationRequest::answer()): the
/// result, or the same error reply as for any failed request (an ACK that cannot be read: class
/// communication with the decoder's code, invalid-data-encoding without one).
///
/// ServiceHelper's waits read every such reply they take from the queue; a requester that takes its
/// replies off the queue itself passes each notification through readIfUnread(). Its action is
/// UNDEFINED (what the answer is shows only when read), its second action that of the request.
/// Not thread-safe: the requester's thread reads it.
class NotificationResponseUnread : public Orvik::Utility::Notification
{
public:
    NotificationResponseUnread(NotificationRequest::Ptr pRequest, std::unique_ptr<UnreadReply> pReply);

    /// The reply of an unread `pNf`, read now; any other notification as it is.
    static Poco::AutoPtr<Poco::Notification> readIfUnread(Poco::AutoPtr<Poco::Notification> pNf);

protected:
    ~NotificationResponseUnread() override;

private:
    /// Reads on the first call only.
    NotificationResponseBase::Ptr read();

    const NotificationRequest::Ptr _pRequest;
    std::unique_ptr<UnreadReply> _pReply;
    NotificationResponseBase::Ptr _pRead;
};

}  // namespace Orvik::BACnet::Client
