#include "Orvik_BACnetClient/DataObjectKey.h"

namespace Orvik::BACnet::Client
{

DataObjectKey::DataObjectKey() : deviceInstance(_NO_DEVICE) {}

DataObjectKey::DataObjectKey(Poco::UInt32 aDeviceInstance,
                             const DataType::ObjectIdentifier& anObjectIdentifier)
    : deviceInstance(aDeviceInstance), objectIdentifier(anObjectIdentifier)
{
}

DataObjectKey::DataObjectKey(const DataType::BACnetDeviceObjectReference& reference)
    : deviceInstance(reference.getDeviceInstance()), objectIdentifier(reference.getObjectIdentifier())
{
}

BACNET_OBJECT_TYPE DataObjectKey::getObjectType() const
{
    return objectIdentifier.getObjectType();
}

Poco::UInt32 DataObjectKey::getObjectInstance() const
{
    return objectIdentifier.getInstance();
}

Poco::UInt64 DataObjectKey::getKey() const
{
    return (static_cast<Poco::UInt64>(deviceInstance) << 32) | objectIdentifier.getEncoded();
}

bool DataObjectKey::operator==(const DataObjectKey& other) const
{
    return deviceInstance == other.deviceInstance && objectIdentifier == other.objectIdentifier;
}

}  // namespace Orvik::BACnet::Client
