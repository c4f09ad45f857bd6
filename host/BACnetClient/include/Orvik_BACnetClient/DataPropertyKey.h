#pragma once

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"

#include <cstddef>
#include <vector>

namespace Orvik::BACnet::Client
{

/// One property (or one element of it) of one object of one device: the target of a ReadProperty,
/// ReadRange, WriteProperty or SubscribeCOV request.
class DataPropertyKey : public DataObjectKey
{
public:
    DataPropertyKey() = default;
    DataPropertyKey(const DataObjectKey& objectKey, const DataPropertyRef& aPropertyRef);
    DataPropertyKey(const DataObjectKey& objectKey, BACNET_PROPERTY_ID propertyIdentifier,
                    Poco::UInt32 arrayIndex = DataPropertyRef::_ARRAY_INDEX_NONE);
    DataPropertyKey(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& objectIdentifier,
                    const DataPropertyRef& aPropertyRef);
    /// Device, object, property and array index of `reference`. A reference that names no device
    /// (instance 4194303) keeps that instance; the caller decides which device to ask instead.
    explicit DataPropertyKey(const DataType::BACnetDeviceObjectPropertyReference& reference);

    /// Built from an app's parameter list, starting at position `first`:
    ///
    ///   first + 0  device instance       unsigned
    ///   first + 1  object type           enumerated (or unsigned)
    ///   first + 2  object instance       unsigned
    ///   first + 3  property identifier   enumerated (or unsigned)
    ///   first + 4  array index           unsigned; optional: missing or NULL means the whole property
    ///
    /// Throws Poco::InvalidArgumentException when fewer than four values follow `first`, or when a
    /// value is out of range (device or object instance above 4194303, object type above 1023).
    DataPropertyKey(const std::vector<ValueContainer>& parameters, std::size_t first);

    const DataObjectKey& getObjectKey() const { return *this; }

    bool operator==(const DataPropertyKey& other) const
    {
        return DataObjectKey::operator==(other) && propertyRef == other.propertyRef;
    }
    bool operator!=(const DataPropertyKey& other) const { return !(*this == other); }

    DataPropertyRef propertyRef;
};

}  // namespace Orvik::BACnet::Client
