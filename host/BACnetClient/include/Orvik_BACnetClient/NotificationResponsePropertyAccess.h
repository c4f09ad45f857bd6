#pragma once

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NotificationResponseObjectAccess.h"

namespace Orvik::BACnet::Client
{

/// A reply to a request addressed to one property: ReadProperty (T = ValueContainer), ReadRange
/// (T = ReadRangeAck::Result), the acknowledgement of a WriteProperty or SubscribeCOV (T = int, always
/// 0), and the error of any of them (T = DataError).
template <class T>
class NotificationResponsePropertyAccess : public NotificationResponseObjectAccess<T>
{
public:
    using Ptr = Poco::AutoPtr<NotificationResponsePropertyAccess<T>>;
    using Action = Orvik::Utility::Notification::Action;

    NotificationResponsePropertyAccess(Poco::UInt32 requestId, Action action, Action requestAction,
                                       T response, const DataPropertyKey& propertyKey)
        : NotificationResponseObjectAccess<T>(requestId, action, requestAction, std::move(response),
                                              propertyKey.getObjectKey()),
          _propertyRef(propertyKey.propertyRef)
    {
    }

    const DataPropertyRef& getPropertyRef() const { return _propertyRef; }
    DataPropertyKey getPropertyKey() const { return DataPropertyKey(this->getObjectKey(), _propertyRef); }

protected:
    ~NotificationResponsePropertyAccess() override = default;

private:
    const DataPropertyRef _propertyRef;
};

}  // namespace Orvik::BACnet::Client
