#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::Codec
{

/// One property with its value or its error: a ReadPropertyMultiple result (the client's
/// DataResponseRPM::Value) or a value of a COV notification (DataResponseCOV::Value).
///
/// When `error` holds an error, `value` is empty. Decoders set the error too when the device sent a
/// value that cannot be read (ValueCodec says why), so one bad value never costs the others.
struct PropertyValue
{
    PropertyReference property;
    ValueContainer value;
    ServiceError error;
    /// COV notifications only: the priority the value was written with, 0 for none.
    std::uint8_t priority = 0;

    PropertyValue() = default;
    PropertyValue(const PropertyReference& aProperty, const ValueContainer& aValue)
        : property(aProperty), value(aValue)
    {
    }
    PropertyValue(const PropertyReference& aProperty, const ServiceError& anError)
        : property(aProperty), error(anError)
    {
    }

    bool hasError() const { return error.hasError(); }
};

}  // namespace Orvik::BACnet::Codec
