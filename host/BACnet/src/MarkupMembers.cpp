#include "MarkupMembers.h"

#include "Orvik_BACnet/ValueText.h"

namespace Orvik::BACnet
{

const std::string MarkupMembers::_OBJECT_IDENTIFIER = "object-identifier";
const std::string MarkupMembers::_DEVICE_IDENTIFIER = "device-identifier";
const std::string MarkupMembers::_PROPERTY_IDENTIFIER = "property-identifier";
const std::string MarkupMembers::_PROPERTY_ARRAY_INDEX = "property-array-index";

MarkupMembers::BaseType MarkupMembers::baseTypeOf(BACnetDataType dataType)
{
    if (dataType == BACNET_DT_DATE_TIME)
    {
        return BaseType::BT_DATE_TIME;
    }
    return BACnetDataTypeInfo::isPrimitive(dataType) ? static_cast<BaseType>(dataType) : BaseType::BT_STRUCT;
}

void MarkupMembers::write(WS::MarkupFactory& mf, BaseType baseType, const std::string& name,
                          const std::string& value, bool startArray)
{
    mf.markup(baseType, name, value, WS::MarkupFactory::Options().startArray(startArray));
}

void MarkupMembers::writeValue(WS::MarkupFactory& mf, const std::string& name, const BACnetValue& value,
                               bool startArray, BACnetDataType dataType)
{
    thread_local std::string text;  // reused: a log buffer writes many values
    text.clear();
    if (const auto* bits = value.getIf<DataType::BitString>())
    {
        text = bits->toString();
    }
    else if (value.getIf<DataType::OctetString>() != nullptr)
    {
        ValueText::appendElement(text, value, false);
        text.erase(0, 2);  // without "0x"
    }
    else
    {
        ValueText::appendElement(text, value, false);
    }
    const BACnetDataType type = dataType == BACNET_DT_NULL ? value.getDataType() : dataType;
    mf.markup(baseTypeOf(type), name, text, WS::MarkupFactory::Options().startArray(startArray));
}

void MarkupMembers::writeObjectIdentifier(WS::MarkupFactory& mf, const std::string& name,
                                          const DataType::ObjectIdentifier& identifier)
{
    mf.markup(BaseType::BT_OBJECT_IDENTIFIER, name, identifier.toString());
}

}  // namespace Orvik::BACnet
