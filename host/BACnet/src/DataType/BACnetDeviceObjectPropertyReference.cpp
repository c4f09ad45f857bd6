#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "MarkupMembers.h"

#include <cstdio>

namespace Orvik::BACnet::DataType
{

BACnetDeviceObjectPropertyReference::BACnetDeviceObjectPropertyReference() : _deviceIdentifier(noDevice()) {}

BACnetDeviceObjectPropertyReference::BACnetDeviceObjectPropertyReference(
    const ObjectIdentifier& objectIdentifier, BACNET_PROPERTY_ID propertyIdentifier, std::uint32_t arrayIndex,
    const ObjectIdentifier& deviceIdentifier)
    : BACnetObjectPropertyReference(objectIdentifier, propertyIdentifier, arrayIndex),
      _deviceIdentifier(deviceIdentifier)
{
}

ObjectIdentifier BACnetDeviceObjectPropertyReference::noDevice()
{
    return ObjectIdentifier(OBJECT_DEVICE, ObjectIdentifier::_MAX_INSTANCE);
}

std::string& BACnetDeviceObjectPropertyReference::getHexIdentifier(const ObjectIdentifier& deviceIdentifier,
                                                                   std::string& out) const
{
    const ObjectIdentifier& device = hasDevice() ? _deviceIdentifier : deviceIdentifier;
    char text[33];
    std::snprintf(text, sizeof(text), "%08X%08X%08X%08X", static_cast<unsigned>(device.getEncoded()),
                  static_cast<unsigned>(getObjectIdentifier().getEncoded()),
                  static_cast<unsigned>(getPropertyIdentifier()), static_cast<unsigned>(getArrayIndex()));
    out.assign(text, 32);
    return out;
}

bool BACnetDeviceObjectPropertyReference::operator==(const BACnetDeviceObjectPropertyReference& other) const
{
    return BACnetObjectPropertyReference::operator==(other) && _deviceIdentifier == other._deviceIdentifier;
}

void BACnetDeviceObjectPropertyReference::markup(WS::MarkupFactory& mf, const std::string& name,
                                                 bool startArray) const
{
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    markupMembers(mf);
    if (hasDevice())
    {
        MarkupMembers::writeObjectIdentifier(mf, MarkupMembers::_DEVICE_IDENTIFIER, _deviceIdentifier);
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::DataType
