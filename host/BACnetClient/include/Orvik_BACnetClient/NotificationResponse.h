#pragma once

#include "Orvik_BACnetClient/NotificationResponseBase.h"

#include <utility>

namespace Orvik::BACnet::Client
{

/// A reply that carries one value of type T: a DataResponseWhoIs per I-Am, a DataError at the end of a
/// Who-Is or for a failed request, a DataResponseCOV for a change-of-value notification. Replies that
/// belong to a device, an object or a property use the refinements NotificationResponseDeviceAccess<T>,
/// NotificationResponseObjectAccess<T> and NotificationResponsePropertyAccess<T>; a dynamic_cast to
/// NotificationResponse<T> matches all of them.
template <class T>
class NotificationResponse : public NotificationResponseBase
{
public:
    using Ptr = Poco::AutoPtr<NotificationResponse<T>>;

    NotificationResponse(Poco::UInt32 requestId, Action action, Action requestAction, T response)
        : NotificationResponseBase(requestId, action, requestAction), _response(std::move(response))
    {
    }

    const T& getResponse() const { return _response; }
    T& getResponse() { return _response; }

protected:
    ~NotificationResponse() override = default;

private:
    T _response;
};

}  // namespace Orvik::BACnet::Client
