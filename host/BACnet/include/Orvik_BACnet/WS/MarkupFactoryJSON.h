//
// MarkupFactoryJSON.h
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactoryJSON
//
// Definition of the MarkupFactoryJSON class, the JSON spelling of the BACnet/WS markup writer.
//

#ifndef Orvik_BACnet_WS_MarkupFactoryJSON_INCLUDED
#define Orvik_BACnet_WS_MarkupFactoryJSON_INCLUDED

#include "Orvik_BACnet/WS/MarkupFactory.h"

namespace Orvik::BACnet::WS
{

/// MarkupFactoryJSON writes the markup tree as JSON (RFC 8259) in UTF-8, in the "$base"/"$value" style
/// of BACnet/WS: every element is a JSON object whose member "$base" names the base type and whose member
/// "$value" holds the value, followed by the metadata members "$error", "$truncated", "$comment",
/// "$errorText", "$displayName", "$type", "$maximum", "$minimum", "$contextTag", "$propertyIdentifier",
/// "$writable" and "$description" when they are set.
///
/// Where an element goes:
///   - The document is one object with one member: the top-level element under its name.
///   - A child of a Sequence (or any element that is not an ordered collection) is a member of its
///     parent's object, under the child's name.
///   - The children of the ordered collections (List, SequenceOf, Array) are items of the parent's
///     array member "$items", in call order; each item carries its name as "$name". Collection members need
///     not have unique names, and this keeps every one of them.
///   - startArray on a child of any other element switches that parent to the same form from this child on:
///     the child and all its later siblings become items of "$items". Earlier siblings stay members. So
///     startArray never produces an unnamed member or a name inside an array.
///   - A name that begins with '$' would collide with the writer's own members, so such an element is
///     written as an item as well (with the same switch of its parent), and keeps its name in "$name".
///
/// "$value" is a JSON number for Unsigned, Integer and Enumerated values that are JSON integers of at
/// most 18 digits (so that they fit 64 bits) and for Real and Double values that are JSON numbers within
/// the range of a double, true or false for Boolean values "true"/"false"/"1"/"0"
/// (any letter case), and a string otherwise (for example "NaN", or an enumeration written by its name).
///
/// Example, with format true (format false writes the same without any white space):
///
///     {
///       "bacnet-2-cloud-trend-log": {"$base": "Sequence",
///         "app-version": {"$base": "String", "$value": "150928A"},
///         "parent-identifier": {"$base": "Unsigned", "$value": 17},
///         "devices": {"$base": "List", "$items": [
///           {"$name": "1234", "$base": "Sequence",
///             "system-status": {"$base": "Enumerated", "$value": "operational"}
///           }
///         ]}
///       }
///     }
///
/// A Sequence whose second child came with startArray (compact):
///
///     "1":{"$base":"Sequence","object-name":{"$base":"String","$value":"TL 1"},
///          "$items":[{"$name":"logging-type","$base":"Enumerated","$value":0},{"$name":"buffer-size",...}]}
///
/// header() writes nothing. Strings escape '"', '\\' and control characters, and U+2028/U+2029 so
/// that JSONP consumers can evaluate the text as script.
class MarkupFactoryJSON : public MarkupFactory
{
public:
    MarkupFactoryJSON(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings,
                      HandOver handOver = HAND_OVER_EACH_CALL);
    ~MarkupFactoryJSON() override;

    MarkupLanguage language() const override { return JSON; }

protected:
    bool isReservedName(const std::string& name) const override;
    void writeHeader() override;
    void writeElement(const Element& element, Placement placement, const Frame* parent,
                      bool closeMarkup) override;
    void writeClose(const Frame& frame) override;
    void writeDocumentEnd() override;

private:
    template <std::size_t CompactSize, std::size_t FormattedSize>
    void writeSpelled(const char (&compact)[CompactSize], const char (&formatted)[FormattedSize])
    /// Writes the compact or the formatted spelling of the same JSON text (literals: their sizes are known).
    {
        if (format())
        {
            write(formatted, FormattedSize - 1);
        }
        else
        {
            write(compact, CompactSize - 1);
        }
    }
    void writeValue(BaseType baseType, const std::string& value);
    void writeCompleteEnd(BaseType baseType);
    void writeString(const std::string& text);
};

}  // namespace Orvik::BACnet::WS

#endif  // Orvik_BACnet_WS_MarkupFactoryJSON_INCLUDED
