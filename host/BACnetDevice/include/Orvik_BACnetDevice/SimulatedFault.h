#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

#include <Poco/Types.h>

#include <optional>

namespace Orvik::BACnet::Device
{

/// A fault of a simulated device: requests that match it are answered with an error, or not at all.
///
/// A request matches when the service fits (ANY_SERVICE: every confirmed service) and, when given, the
/// object and the property. The first `skip` matching requests pass; the next `count` ones fail; then the
/// fault is spent. So {READ_RANGE, skip 1, count 1} fails the second ReadRange page only.
///
/// In a ReadPropertyMultiple a fault that names a property fails only that property's entry (the reply
/// carries the error in its place); a fault without property fails the whole request.
class SimulatedFault
{
public:
    enum Service
    {
        ANY_SERVICE,
        READ_PROPERTY,
        READ_PROPERTY_MULTIPLE,
        READ_RANGE,
        WRITE_PROPERTY,
        SUBSCRIBE_COV
    };

    /// True when this fault, not yet spent, applies to a request of `aService` for `anObject` and
    /// `aProperty`. A fault that names an object or a property applies only to requests that name the same.
    bool matches(Service aService, const std::optional<DataType::ObjectIdentifier>& anObject,
                 const std::optional<BACNET_PROPERTY_ID>& aProperty) const;
    /// Counts one matching request; true when this one is to fail (past `skip`, within `count`).
    bool strike();

    Service service = ANY_SERVICE;
    std::optional<DataType::ObjectIdentifier> object;
    std::optional<BACNET_PROPERTY_ID> property;
    /// The error to answer with; without error (the default ServiceError) the request is dropped: the
    /// device does not answer, and the client times out.
    Codec::ServiceError error;
    Poco::UInt32 skip = 0;
    Poco::UInt32 count = 0xFFFFFFFFu;
};

}  // namespace Orvik::BACnet::Device
