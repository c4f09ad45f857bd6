#pragma once

#include "Orvik_Utility/Notification.h"

#include <Poco/AutoPtr.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// Every reply of the BACnet client services, as it arrives on the requester's queue.
///
/// The host notification's action says how the request ended: RESULT (a result or an acknowledgement)
/// or ERROR (the reply carries a DataError). Its second action is the action of the request that it
/// answers (READ, WRITE, SUBSCRIBE, BROADCAST for a Who-Is) and COV_EVENT for a change-of-value
/// notification. getRequestId() is the identifier that the ServiceHelper call returned for the
/// request; unsolicited notifications (COV) carry 0.
///
/// The reply's payload lives in the class template NotificationResponse<T> and its refinements, which
/// add where the request went: NotificationResponseDeviceAccess (device), ...ObjectAccess (object),
/// ...PropertyAccess (property). Take a reply apart with dynamic_cast to the class you expect.
class NotificationResponseBase : public Orvik::Utility::Notification
{
public:
    using Ptr = Poco::AutoPtr<NotificationResponseBase>;

    /// The request this reply answers; 0 for notifications that answer no request.
    Poco::UInt32 getRequestId() const { return _requestId; }

    /// True when the reply carries an error (action ERROR).
    bool isError() const { return getAction() == ERROR; }

protected:
    NotificationResponseBase(Poco::UInt32 requestId, Action action, Action requestAction)
        : Orvik::Utility::Notification(action, requestAction), _requestId(requestId)
    {
    }
    ~NotificationResponseBase() override = default;

private:
    const Poco::UInt32 _requestId;
};

}  // namespace Orvik::BACnet::Client
