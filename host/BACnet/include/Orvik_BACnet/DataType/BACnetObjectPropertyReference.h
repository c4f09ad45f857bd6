#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/DataType/BACnetComplex.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::DataType
{

/// BACnetObjectPropertyReference: object, property and optional array index (BACNET_ARRAY_ALL: none).
class BACnetObjectPropertyReference : public BACnetComplex
{
public:
    BACnetObjectPropertyReference() = default;
    BACnetObjectPropertyReference(const ObjectIdentifier& objectIdentifier,
                                  BACNET_PROPERTY_ID propertyIdentifier,
                                  std::uint32_t arrayIndex = BACNET_ARRAY_ALL);

    const ObjectIdentifier& getObjectIdentifier() const { return _objectIdentifier; }
    BACNET_PROPERTY_ID getPropertyIdentifier() const { return _propertyIdentifier; }
    std::uint32_t getArrayIndex() const { return _arrayIndex; }
    bool hasArrayIndex() const { return _arrayIndex != BACNET_ARRAY_ALL; }

    void setObjectIdentifier(const ObjectIdentifier& objectIdentifier)
    {
        _objectIdentifier = objectIdentifier;
    }
    void setPropertyIdentifier(BACNET_PROPERTY_ID propertyIdentifier)
    {
        _propertyIdentifier = propertyIdentifier;
    }
    void setArrayIndex(std::uint32_t arrayIndex) { _arrayIndex = arrayIndex; }

    /// <Sequence name=...> with object-identifier, property-identifier and, when set, property-array-index.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetObjectPropertyReference& other) const;
    bool operator!=(const BACnetObjectPropertyReference& other) const { return !(*this == other); }

protected:
    /// Writes the members of markup() inside an element that the caller opened.
    void markupMembers(WS::MarkupFactory& mf) const;

private:
    ObjectIdentifier _objectIdentifier;
    BACNET_PROPERTY_ID _propertyIdentifier = PROP_PRESENT_VALUE;
    std::uint32_t _arrayIndex = BACNET_ARRAY_ALL;
};

}  // namespace Orvik::BACnet::DataType
