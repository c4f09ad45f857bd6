#pragma once

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"

#include <Poco/Types.h>

#include <vector>

namespace Orvik::BACnet::Client
{

/// One change-of-value notification (confirmed or unconfirmed), as a subscriber receives it.
class DataResponseCOV
{
public:
    /// One reported property value.
    class Value
    {
    public:
        Value() = default;
        Value(const DataPropertyRef& aPropertyRef, const ValueContainer& aValue);

        DataPropertyRef propertyRef;
        ValueContainer value;
    };

    Poco::UInt32 subscriberProcessIdentifier = 0;
    /// The device that sent the notification.
    Poco::UInt32 initiatingDeviceInstance = 0;
    DataType::ObjectIdentifier monitoredObjectIdentifier;
    /// Seconds left of the subscription; 0 for a subscription without lifetime.
    Poco::UInt32 timeRemaining = 0;
    bool confirmed = false;
    /// The reported values, in the order the device sent them (present-value, then status-flags, for
    /// the usual objects).
    std::vector<Value> values;
};

}  // namespace Orvik::BACnet::Client
