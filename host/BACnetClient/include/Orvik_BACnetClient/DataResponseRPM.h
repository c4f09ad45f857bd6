#pragma once

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"

#include <vector>

namespace Orvik::BACnet::Client
{

/// The ReadPropertyMultiple result of one object: one entry per property, in the order of the reply.
///
/// Each entry carries either a value or an error. An entry without error has error.errorClass 65535
/// or above (MAX_BACNET_ERROR_CLASS); use hasError(). A request for PROP_ALL, PROP_REQUIRED or
/// PROP_OPTIONAL is answered with one entry per property that the object has, each with its own
/// property identifier.
class DataResponseRPM
{
public:
    class Value
    {
    public:
        Value();
        Value(const DataPropertyRef& aPropertyRef, const ValueContainer& aValue);
        Value(const DataPropertyRef& aPropertyRef, const DataError& anError);

        bool hasError() const;

        DataPropertyRef propertyRef;
        ValueContainer value;
        DataError error;
    };

    DataResponseRPM() = default;
    explicit DataResponseRPM(const DataType::ObjectIdentifier& anObjectIdentifier);

    DataType::ObjectIdentifier objectIdentifier;
    std::vector<Value> values;
};

}  // namespace Orvik::BACnet::Client
