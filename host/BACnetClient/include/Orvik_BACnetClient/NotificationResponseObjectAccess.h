#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"

namespace Orvik::BACnet::Client
{

/// A reply to a request addressed to one object of one device.
template <class T>
class NotificationResponseObjectAccess : public NotificationResponseDeviceAccess<T>
{
public:
    using Ptr = Poco::AutoPtr<NotificationResponseObjectAccess<T>>;
    using Action = Orvik::Utility::Notification::Action;

    NotificationResponseObjectAccess(Poco::UInt32 requestId, Action action, Action requestAction, T response,
                                     const DataObjectKey& objectKey)
        : NotificationResponseDeviceAccess<T>(requestId, action, requestAction, std::move(response),
                                              objectKey.deviceInstance),
          _objectIdentifier(objectKey.objectIdentifier)
    {
    }

    const DataType::ObjectIdentifier& getObjectIdentifier() const { return _objectIdentifier; }
    DataObjectKey getObjectKey() const { return DataObjectKey(this->getDeviceInstance(), _objectIdentifier); }

protected:
    ~NotificationResponseObjectAccess() override = default;

private:
    const DataType::ObjectIdentifier _objectIdentifier;
};

}  // namespace Orvik::BACnet::Client
