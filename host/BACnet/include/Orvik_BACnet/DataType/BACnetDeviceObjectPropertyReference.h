#pragma once

#include <string>

#include "Orvik_BACnet/DataType/BACnetObjectPropertyReference.h"

namespace Orvik::BACnet::DataType
{

/// BACnetDeviceObjectPropertyReference: object, property, optional array index (BACNET_ARRAY_ALL: none)
/// and optional device (instance 4194303: none, the reference is to the device that holds it).
class BACnetDeviceObjectPropertyReference : public BACnetObjectPropertyReference
{
public:
    /// No device, no object, present-value, no array index.
    BACnetDeviceObjectPropertyReference();
    BACnetDeviceObjectPropertyReference(const ObjectIdentifier& objectIdentifier,
                                        BACNET_PROPERTY_ID propertyIdentifier,
                                        std::uint32_t arrayIndex = BACNET_ARRAY_ALL,
                                        const ObjectIdentifier& deviceIdentifier = noDevice());

    /// The device identifier that names no device: (device, 4194303).
    static ObjectIdentifier noDevice();

    const ObjectIdentifier& getDeviceIdentifier() const { return _deviceIdentifier; }
    bool hasDevice() const { return _deviceIdentifier.getInstance() != ObjectIdentifier::_MAX_INSTANCE; }
    void setDeviceIdentifier(const ObjectIdentifier& deviceIdentifier)
    {
        _deviceIdentifier = deviceIdentifier;
    }

    /// A fixed-width upper-case hexadecimal identity of the referenced value, unique per device, object,
    /// property and array index: 32 digits, 8 each for the encoded device identifier (this reference's
    /// device, or `deviceIdentifier` when it names none), the encoded object identifier, the property
    /// identifier and the array index (FFFFFFFF: none). Returns `out`.
    std::string& getHexIdentifier(const ObjectIdentifier& deviceIdentifier, std::string& out) const;

    /// <Sequence name=...> with object-identifier, property-identifier, property-array-index (when set)
    /// and device-identifier (when set).
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetDeviceObjectPropertyReference& other) const;
    bool operator!=(const BACnetDeviceObjectPropertyReference& other) const { return !(*this == other); }

private:
    ObjectIdentifier _deviceIdentifier;
};

}  // namespace Orvik::BACnet::DataType
