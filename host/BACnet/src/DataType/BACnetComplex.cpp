#include "Orvik_BACnet/DataType/BACnetComplex.h"

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik
{
namespace BACnet
{
namespace DataType
{

void BACnetComplex::markupByPropertyIdentifier(WS::MarkupFactory& mf, BACNET_PROPERTY_ID propertyIdentifier,
                                               bool startArray) const
{
    markup(mf, ProtocolText::propertyName(propertyIdentifier), startArray);
}

}  // namespace DataType
}  // namespace BACnet
}  // namespace Orvik
