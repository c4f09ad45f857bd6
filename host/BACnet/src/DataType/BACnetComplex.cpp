#include "Orvik_BACnet/DataType/BACnetComplex.h"

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::DataType
{

void BACnetComplex::markupByPropertyIdentifier(WS::MarkupFactory& mf, BACNET_PROPERTY_ID propertyIdentifier,
                                               bool startArray) const
{
    markup(mf, ProtocolText::propertyName(propertyIdentifier), startArray);
}

}  // namespace Orvik::BACnet::DataType
