#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// One object of one device: where a request goes.
///
/// The 64-bit key (getKey()) holds the device instance in the high 32 bits and the encoded object
/// identifier (type times 2^22 plus instance) in the low 32 bits, the same layout as the key of a
/// BACnetDeviceObjectReference.
class DataObjectKey
{
public:
    /// The device instance that names no device (4194303).
    static constexpr Poco::UInt32 _NO_DEVICE = 0x3FFFFF;

    /// No device, a default object identifier.
    DataObjectKey();
    DataObjectKey(Poco::UInt32 aDeviceInstance, const DataType::ObjectIdentifier& anObjectIdentifier);
    /// The device instance and object of `reference`.
    explicit DataObjectKey(const DataType::BACnetDeviceObjectReference& reference);

    BACNET_OBJECT_TYPE getObjectType() const;
    Poco::UInt32 getObjectInstance() const;
    Poco::UInt64 getKey() const;

    bool operator==(const DataObjectKey& other) const;
    bool operator!=(const DataObjectKey& other) const { return !(*this == other); }
    /// Orders by device instance, then by encoded object identifier.
    bool operator<(const DataObjectKey& other) const { return getKey() < other.getKey(); }

    Poco::UInt32 deviceInstance;
    DataType::ObjectIdentifier objectIdentifier;
};

}  // namespace Orvik::BACnet::Client
