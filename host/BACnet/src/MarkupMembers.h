#pragma once

#include <string>

#include "Orvik_BACnet/BACnetValue.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet
{

/// The member elements that the constructed datatypes write inside their own element, with the
/// BACnet/WS base type of each and its value in the stored text form.
class MarkupMembers
{
public:
    using BaseType = WS::MarkupFactory::BaseType;

    /// The base type of a primitive datatype (BT_NULL .. BT_OBJECT_IDENTIFIER share the application
    /// tag numbers); BACnetDateTime is BT_DATE_TIME, other constructed datatypes BT_STRUCT.
    static BaseType baseTypeOf(BACnetDataType dataType);

    /// One complete element holding `value`.
    static void write(WS::MarkupFactory& mf, BaseType baseType, const std::string& name,
                      const std::string& value, bool startArray = false);
    /// One complete element holding a value in its markup text (bit strings as '0'/'1' characters, octet
    /// strings as hexadecimal digits, the rest as in the stored form, strings unquoted).
    static void writeValue(WS::MarkupFactory& mf, const std::string& name, const BACnetValue& value,
                           bool startArray, BACnetDataType dataType);

    static void writeObjectIdentifier(WS::MarkupFactory& mf, const std::string& name,
                                      const DataType::ObjectIdentifier& identifier);

    static const std::string _OBJECT_IDENTIFIER;
    static const std::string _DEVICE_IDENTIFIER;
    static const std::string _PROPERTY_IDENTIFIER;
    static const std::string _PROPERTY_ARRAY_INDEX;
};

}  // namespace Orvik::BACnet
