#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "MarkupMembers.h"

namespace Orvik::BACnet::DataType
{

BACnetDeviceObjectReference::BACnetDeviceObjectReference()
    : _deviceIdentifier(OBJECT_DEVICE, ObjectIdentifier::_MAX_INSTANCE)
{
}

BACnetDeviceObjectReference::BACnetDeviceObjectReference(const ObjectIdentifier& deviceIdentifier,
                                                         const ObjectIdentifier& objectIdentifier)
    : _deviceIdentifier(deviceIdentifier), _objectIdentifier(objectIdentifier)
{
}

BACnetDeviceObjectReference::BACnetDeviceObjectReference(std::uint64_t key)
    : _deviceIdentifier(OBJECT_DEVICE,
                        static_cast<std::uint32_t>(key >> 32) & ObjectIdentifier::_MAX_INSTANCE),
      _objectIdentifier(ObjectIdentifier::fromEncoded(static_cast<std::uint32_t>(key)))
{
}

std::uint64_t BACnetDeviceObjectReference::getKey() const
{
    return (static_cast<std::uint64_t>(getDeviceInstance()) << 32) | _objectIdentifier.getEncoded();
}

bool BACnetDeviceObjectReference::operator==(const BACnetDeviceObjectReference& other) const
{
    return _deviceIdentifier == other._deviceIdentifier && _objectIdentifier == other._objectIdentifier;
}

bool BACnetDeviceObjectReference::operator<(const BACnetDeviceObjectReference& other) const
{
    if (getKey() != other.getKey())
    {
        return getKey() < other.getKey();
    }
    return _deviceIdentifier < other._deviceIdentifier;
}

void BACnetDeviceObjectReference::markup(WS::MarkupFactory& mf, const std::string& name,
                                         bool startArray) const
{
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    markupMembers(mf);
    mf.closeOpenMarkup();
}

void BACnetDeviceObjectReference::markupMembers(WS::MarkupFactory& mf) const
{
    if (hasDevice())
    {
        MarkupMembers::writeObjectIdentifier(mf, MarkupMembers::_DEVICE_IDENTIFIER, _deviceIdentifier);
    }
    MarkupMembers::writeObjectIdentifier(mf, MarkupMembers::_OBJECT_IDENTIFIER, _objectIdentifier);
}

}  // namespace Orvik::BACnet::DataType
