#pragma once

#include "Orvik_BACnetClient/NotificationResponse.h"

namespace Orvik::BACnet::Client
{

/// A reply to a request addressed to one device: ReadPropertyMultiple (T = std::vector<DataResponseRPM>,
/// or DataError when the request failed as a whole).
template <class T>
class NotificationResponseDeviceAccess : public NotificationResponse<T>
{
public:
    using Ptr = Poco::AutoPtr<NotificationResponseDeviceAccess<T>>;
    using Action = Orvik::Utility::Notification::Action;

    NotificationResponseDeviceAccess(Poco::UInt32 requestId, Action action, Action requestAction, T response,
                                     Poco::UInt32 deviceInstance)
        : NotificationResponse<T>(requestId, action, requestAction, std::move(response)),
          _deviceInstance(deviceInstance)
    {
    }

    /// The device the request went to.
    Poco::UInt32 getDeviceInstance() const { return _deviceInstance; }

protected:
    ~NotificationResponseDeviceAccess() override = default;

private:
    const Poco::UInt32 _deviceInstance;
};

}  // namespace Orvik::BACnet::Client
