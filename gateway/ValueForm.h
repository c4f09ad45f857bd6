#pragma once

#include <Poco/Types.h>

#include <string>

namespace Orvik::BACnet
{
class ValueContainer;
}

namespace Orvik::Gateway
{

/// How a person writes a value of a parameter's datatype in the stored-text grammar (ValueText.h):
/// a short name of the datatype, the form in words and an example, for the configuration command's
/// listings and error messages.
///
/// check() is the one gate for every value the command writes: it reads the text as the datatype
/// and structure through ValueContainer::setText and gives back the value's stored text, so what is
/// written is exactly what the app reads back.
class ValueForm
{
public:
    /// `dataType` and `appTag` as ap_app_property.id_bn_datatype and id_bn_app_tag; `structure`
    /// 0 single value, 1 array, 2 list.
    ValueForm(Poco::Int32 dataType, Poco::Int32 appTag, Poco::Int32 structure);

    /// "unsigned", "text", "list of device object reference", ...
    std::string typeName() const;
    /// The form in words with an example: "an unsigned whole number, for example 15".
    std::string expected() const;

    /// True when `text` is a value of this datatype and structure; `storedText` is then the text to
    /// store (the value written back in the grammar's own form; "" for no value).
    bool check(const std::string& text, std::string& storedText) const;
    /// The text an app reads from `storedText` (a text check() gave): the value with its escapes
    /// resolved, elements joined by ", " (ValueContainer::getString).
    std::string appText(const std::string& storedText) const;

private:
    /// The element's name, form in words and example.
    struct ElementForm
    {
        const char* name;
        const char* words;
        const char* example;
    };

    ElementForm element() const;
    /// `text` in the stored-text grammar as a value of this datatype and structure; false when it is none.
    bool read(const std::string& text, Orvik::BACnet::ValueContainer& value) const;

    Poco::Int32 _dataType;
    Poco::Int32 _appTag;
    Poco::Int32 _structure;
};

}  // namespace Orvik::Gateway
