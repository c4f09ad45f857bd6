#include "Orvik_BACnet/DataType/BACnetObjectPropertyReference.h"
#include "MarkupMembers.h"
#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::DataType
{

BACnetObjectPropertyReference::BACnetObjectPropertyReference(const ObjectIdentifier& objectIdentifier,
                                                             BACNET_PROPERTY_ID propertyIdentifier,
                                                             std::uint32_t arrayIndex)
    : _objectIdentifier(objectIdentifier), _propertyIdentifier(propertyIdentifier), _arrayIndex(arrayIndex)
{
}

bool BACnetObjectPropertyReference::operator==(const BACnetObjectPropertyReference& other) const
{
    return _objectIdentifier == other._objectIdentifier && _propertyIdentifier == other._propertyIdentifier &&
           _arrayIndex == other._arrayIndex;
}

void BACnetObjectPropertyReference::markup(WS::MarkupFactory& mf, const std::string& name,
                                           bool startArray) const
{
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    markupMembers(mf);
    mf.closeOpenMarkup();
}

void BACnetObjectPropertyReference::markupMembers(WS::MarkupFactory& mf) const
{
    MarkupMembers::writeObjectIdentifier(mf, MarkupMembers::_OBJECT_IDENTIFIER, _objectIdentifier);
    MarkupMembers::write(mf, WS::MarkupFactory::BT_ENUMERATED, MarkupMembers::_PROPERTY_IDENTIFIER,
                         ProtocolText::propertyName(_propertyIdentifier));
    if (hasArrayIndex())
    {
        MarkupMembers::write(mf, WS::MarkupFactory::BT_UNSIGNED, MarkupMembers::_PROPERTY_ARRAY_INDEX,
                             std::to_string(_arrayIndex));
    }
}

}  // namespace Orvik::BACnet::DataType
