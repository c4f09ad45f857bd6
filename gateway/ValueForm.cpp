#include "ValueForm.h"

#include "Orvik_BACnet/BACnetDataType.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::Gateway
{

using namespace Orvik::BACnet;

ValueForm::ValueForm(Poco::Int32 dataType, Poco::Int32 appTag, Poco::Int32 structure)
    : _dataType(dataType), _appTag(appTag), _structure(structure)
{
}

ValueForm::ElementForm ValueForm::element() const
{
    // ANY holds one primitive value of the stored application tag.
    const Poco::Int32 dataType = _dataType == BACNET_DT_ANY ? _appTag : _dataType;
    switch (dataType)
    {
        case BACNET_DT_NULL:
            return {"null", "the word null", "null"};
        case BACNET_DT_BOOLEAN:
            return {"boolean", "true or false", "true"};
        case BACNET_DT_UNSIGNED:
            return {"unsigned", "an unsigned whole number", "15"};
        case BACNET_DT_SIGNED:
            return {"signed", "a whole number", "-7"};
        case BACNET_DT_REAL:
        case BACNET_DT_DOUBLE:
            return {"real", "a number", "21.5"};
        case BACNET_DT_OCTET_STRING:
            return {"octets", "0x and hexadecimal octets", "0x0a1bff"};
        case BACNET_DT_CHARACTER_STRING:
            return {"text", "text (in double quotes when it starts with \" or [)", "Main site"};
        case BACNET_DT_BIT_STRING:
            return {"bits", "0b and the bits, bit 0 first", "0b01"};
        case BACNET_DT_ENUMERATED:
            return {"enumerated", "an enumeration number", "1"};
        case BACNET_DT_DATE:
            return {"date", "year-month-day", "2024-03-05"};
        case BACNET_DT_TIME:
            return {"time", "hour:minute:second", "14:03:07"};
        case BACNET_DT_OBJECT_IDENTIFIER:
            return {"object identifier", "object-type:instance", "analog-input:5"};
        case BACNET_DT_DATE_TIME:
            return {"date and time", "year-month-day hour:minute:second", "2024-03-05 14:03:07"};
        case BACNET_DT_TIME_STAMP:
            return {"time stamp", "a time, a sequence number or a date and time", "2024-03-05 14:03:07"};
        case BACNET_DT_OBJECT_PROPERTY_REFERENCE:
            return {"object property reference", "object.property[index]", "analog-input:5.present-value"};
        case BACNET_DT_DEVICE_OBJECT_REFERENCE:
            return {"device object reference", "[device/]object", "device:7/trend-log:3"};
        case BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE:
            return {"device object property reference", "[device/]object.property[index]",
                    "device:7/binary-output:2.present-value"};
        case BACNET_DT_ADDRESS:
            return {"address", "network/mac", "0/192.168.1.10:47808"};
        case BACNET_DT_TREND_LOG_LAST_UPLOADED:
            return {"upload position", "{trend log[, UTC time stamp[, sequence number]]}",
                    "{device:7/trend-log:3, 2024-03-05T14:03:07.123456Z}"};
        default:
            return {BACnetDataTypeInfo::name(static_cast<std::uint32_t>(dataType)),
                    "a value in the stored-text form", "null"};
    }
}

std::string ValueForm::typeName() const
{
    switch (_structure)
    {
        case BACNET_DTS_ARRAY:
            return std::string("array of ") + element().name;
        case BACNET_DTS_LIST:
            return std::string("list of ") + element().name;
        default:
            return element().name;
    }
}

std::string ValueForm::expected() const
{
    const ElementForm form = element();
    if (_structure == BACNET_DTS_SINGLE_VALUE)
        return std::string(form.words) + ", for example " + form.example;
    return std::string("a list in brackets of ") + form.words + ", for example [" + form.example + ", " +
           form.example + "]";
}

bool ValueForm::read(const std::string& text, ValueContainer& value) const
{
    return value.setText(static_cast<BACnetDataType>(_dataType), static_cast<BACNET_APPLICATION_TAG>(_appTag),
                         text, _structure != BACNET_DTS_SINGLE_VALUE);
}

std::string ValueForm::appText(const std::string& storedText) const
{
    ValueContainer value;
    return read(storedText, value) ? value.getString(", ") : storedText;
}

bool ValueForm::check(const std::string& text, std::string& storedText) const
{
    ValueContainer value;
    if (!read(text, value))
        return false;
    if (_structure == BACNET_DTS_ARRAY)
        value.setStructure(BACNET_DTS_ARRAY);
    storedText = value.getText();
    return true;
}

}  // namespace Orvik::Gateway
