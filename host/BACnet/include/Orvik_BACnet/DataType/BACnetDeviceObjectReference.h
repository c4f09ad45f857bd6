#pragma once

#include <cstdint>

#include "Orvik_BACnet/DataType/BACnetComplex.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::DataType
{

/// BACnetDeviceObjectReference: an object and the device that holds it. The device identifier is
/// optional in the standard; "no device" is the device identifier with instance 4194303.
///
/// Key: a 64-bit number with the device instance in the high 32 bits and the encoded object
/// identifier in the low 32 bits. Keys order references by device instance, then object identifier.
class BACnetDeviceObjectReference : public BACnetComplex
{
public:
    /// No device, no object.
    BACnetDeviceObjectReference();
    BACnetDeviceObjectReference(const ObjectIdentifier& deviceIdentifier,
                                const ObjectIdentifier& objectIdentifier);
    /// From a key (see above); the device identifier is (device, high half).
    explicit BACnetDeviceObjectReference(std::uint64_t key);

    const ObjectIdentifier& getDeviceIdentifier() const { return _deviceIdentifier; }
    const ObjectIdentifier& getObjectIdentifier() const { return _objectIdentifier; }
    std::uint32_t getDeviceInstance() const { return _deviceIdentifier.getInstance(); }
    bool hasDevice() const { return _deviceIdentifier.getInstance() != ObjectIdentifier::_MAX_INSTANCE; }
    std::uint64_t getKey() const;

    void setDeviceIdentifier(const ObjectIdentifier& deviceIdentifier)
    {
        _deviceIdentifier = deviceIdentifier;
    }
    void setObjectIdentifier(const ObjectIdentifier& objectIdentifier)
    {
        _objectIdentifier = objectIdentifier;
    }

    /// <Sequence name=...> with device-identifier (when set) and object-identifier.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    /// Equal when device identifier and object identifier are both equal.
    bool operator==(const BACnetDeviceObjectReference& other) const;
    bool operator!=(const BACnetDeviceObjectReference& other) const { return !(*this == other); }
    bool operator<(const BACnetDeviceObjectReference& other) const;

protected:
    void markupMembers(WS::MarkupFactory& mf) const;

private:
    ObjectIdentifier _deviceIdentifier;
    ObjectIdentifier _objectIdentifier;
};

}  // namespace Orvik::BACnet::DataType
