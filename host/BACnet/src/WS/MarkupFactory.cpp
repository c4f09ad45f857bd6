//
// MarkupFactory.cpp
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactory
//

#include "Orvik_BACnet/WS/MarkupFactory.h"

#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ProtocolText.h"

#include <Poco/Exception.h>
#include <Poco/NumberParser.h>

#include <algorithm>
#include <string_view>

namespace Orvik::BACnet::WS
{

namespace
{

constexpr std::string_view BASE_TYPE_NAMES[] = {"Null",
                                                "Boolean",
                                                "Unsigned",
                                                "Integer",
                                                "Real",
                                                "Double",
                                                "OctetString",
                                                "String",
                                                "BitString",
                                                "Enumerated",
                                                "Date",
                                                "Time",
                                                "ObjectIdentifier",
                                                "DateTime",
                                                "DatePattern",
                                                "TimePattern",
                                                "DateTimePattern",
                                                "ObjectIdentifierPattern",
                                                "WeekNDay",
                                                "Choice",
                                                "Sequence",
                                                "List",
                                                "SequenceOf",
                                                "Array",
                                                "Object",
                                                "Bit",
                                                "Link",
                                                "Any",
                                                "StringSet",
                                                "Composition",
                                                "Collection",
                                                "Unknown",
                                                "Raw"};
static_assert(sizeof(BASE_TYPE_NAMES) / sizeof(BASE_TYPE_NAMES[0]) == MarkupFactory::BT_MAX,
              "one name per base type");

const char* const ATTRIBUTE_NAMES[] = {"comment",  "errorText",  "displayName", "type",
                                       "maximum",  "minimum",    "contextTag",  "propertyIdentifier",
                                       "writable", "description"};

bool inRange(unsigned char c, unsigned char low, unsigned char high)
{
    return c >= low && c <= high;
}

/// The base type that spells one value of a datatype of the property datatype table.
MarkupFactory::BaseType baseTypeOfDataType(BACnetDataType dataType)
{
    switch (dataType)
    {
        case BACNET_DT_NULL:
            return MarkupFactory::BT_NULL;
        case BACNET_DT_BOOLEAN:
            return MarkupFactory::BT_BOOLEAN;
        case BACNET_DT_UNSIGNED:
            return MarkupFactory::BT_UNSIGNED;
        case BACNET_DT_SIGNED:
            return MarkupFactory::BT_INTEGER;
        case BACNET_DT_REAL:
            return MarkupFactory::BT_REAL;
        case BACNET_DT_DOUBLE:
            return MarkupFactory::BT_DOUBLE;
        case BACNET_DT_OCTET_STRING:
            return MarkupFactory::BT_OCTET_STRING;
        case BACNET_DT_CHARACTER_STRING:
            return MarkupFactory::BT_STRING;
        case BACNET_DT_BIT_STRING:
            return MarkupFactory::BT_BIT_STRING;
        case BACNET_DT_ENUMERATED:
            return MarkupFactory::BT_ENUMERATED;
        case BACNET_DT_DATE:
            return MarkupFactory::BT_DATE;
        case BACNET_DT_TIME:
            return MarkupFactory::BT_TIME;
        case BACNET_DT_OBJECT_IDENTIFIER:
            return MarkupFactory::BT_OBJECT_IDENTIFIER;
        case BACNET_DT_ANY:
            return MarkupFactory::BT_ANY;
        case BACNET_DT_DATE_TIME:
            return MarkupFactory::BT_DATE_TIME;
        case BACNET_DT_TIME_STAMP:
            return MarkupFactory::BT_CHOICE;
        default:
            return MarkupFactory::BT_STRUCT;
    }
}

bool isDecimal(const std::string& text)
{
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

/// The name of an enumeration value given in decimal; the text itself when it is not such a value.
std::string enumerationText(const std::string& enumeration, const std::string& value)
{
    unsigned number = 0;
    if (!isDecimal(value) || !Poco::NumberParser::tryParseUnsigned(value, number))
    {
        return value;
    }
    const std::string name = ProtocolText::enumerationName(enumeration, number);
    return name.empty() ? value : name;
}

/// The names of the set bits of a bit string given as '0'/'1' characters, bit 0 first, separated by ';'.
/// Bits without a name are given by their number. The text itself when it is not such a bit string.
std::string bitStringText(const std::string& enumeration, const std::string& value)
{
    if (value.empty() || value.find_first_not_of("01") != std::string::npos)
    {
        return value;
    }
    std::string names;
    for (std::size_t bit = 0; bit < value.size(); ++bit)
    {
        if (value[bit] == '1')
        {
            const std::string name =
                ProtocolText::enumerationName(enumeration, static_cast<std::uint32_t>(bit));
            names += (names.empty() ? "" : ";") + (name.empty() ? std::to_string(bit) : name);
        }
    }
    return names;
}

}  // namespace

const char MarkupFactory::_REPLACEMENT_CHARACTER[] = "\xEF\xBF\xBD";
const std::string MarkupFactory::_NO_TEXT;
const MarkupFactory::Options MarkupFactory::_DEFAULTS;

MarkupFactory::MarkupFactory(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings,
                             HandOver handOver)
    : _stream(stream),
      _buffer(_BUFFER_SIZE),
      _next(_buffer.data()),
      _end(_buffer.data() + _buffer.size()),
      _handOverEachCall(handOver == HAND_OVER_EACH_CALL),
      _format(format),
      _textExtendEnumsAndBitStrings(textExtendEnumsAndBitStrings),
      _started(false),
      _complete(false)
{
    if (!stream.rdbuf())
    {
        throw Poco::InvalidArgumentException("markup output stream without a buffer");
    }
}

MarkupFactory::~MarkupFactory() = default;

void MarkupFactory::header()
{
    if (_started)
    {
        throw Poco::IllegalStateException("markup header after the document began");
    }
    _started = true;
    writeHeader();
    endCall();
}

void MarkupFactory::markup(BaseType baseType, const std::string& name, const std::string& value,
                           const Options& options)
{
    const bool valueOptional = baseType == BT_NULL || isConstructed(baseType);
    const bool carriesValue = !options._definition && (!value.empty() || !valueOptional);
    const Element element{baseType,
                          &name,
                          carriesValue ? &value : nullptr,
                          options._errorCode,
                          options._truncated,
                          options._attributes,
                          options._hasAttributes};
    writeMarkup(element, !options._open, options._startArray);
}

void MarkupFactory::markup(BaseType baseType, const std::string& name, const Options& options)
{
    markup(baseType, name, _NO_TEXT, options);
}

void MarkupFactory::markup(Poco::UInt32 objectType, Poco::UInt32 propertyIdentifier, const std::string& value,
                           const Options& options)
{
    const char* standardName = ProtocolText::findPropertyName(propertyIdentifier);
    const std::string name =
        standardName ? standardName : "proprietary-" + std::to_string(propertyIdentifier);
    const PropertyDatatype* row = PropertyDatatypeTable::find(objectType, propertyIdentifier);
    BaseType baseType = row ? baseTypeOfDataType(row->dataType) : BT_STRING;
    std::string text = value;
    if (row && _textExtendEnumsAndBitStrings && !row->enumeration.empty())
    {
        text = baseType == BT_ENUMERATED   ? enumerationText(row->enumeration, value)
               : baseType == BT_BIT_STRING ? bitStringText(row->enumeration, value)
                                           : value;
    }
    if (row && !options._embedded && row->structure != BACNET_DTS_SINGLE_VALUE)
    {
        baseType = row->structure == BACNET_DTS_ARRAY ? BT_ARRAY : BT_LIST;
    }
    markup(baseType, name, text, options);
}

void MarkupFactory::closeOpenMarkup()
{
    if (_open.empty())
    {
        throw Poco::IllegalStateException("no open markup to close");
    }
    closeInnermost();
    endCall();
}

void MarkupFactory::closeAllOpenMarkups()
{
    while (!_open.empty())
    {
        closeInnermost();
    }
    endCall();
}

const char* MarkupFactory::baseTypeName(BaseType baseType)
{
    return BASE_TYPE_NAMES[baseType >= 0 && baseType < BT_MAX ? baseType : BT_UNKNOWN].data();
}

bool MarkupFactory::isConstructed(BaseType baseType)
{
    switch (baseType)
    {
        case BT_CHOICE:
        case BT_STRUCT:
        case BT_LIST:
        case BT_SEQUENCE_OF:
        case BT_ARRAY:
        case BT_OBJECT:
        case BT_COMPOSITION:
        case BT_COLLECTION:
            return true;
        default:
            return false;
    }
}

const char* MarkupFactory::attributeName(Attribute attribute)
{
    return ATTRIBUTE_NAMES[attribute];
}

std::size_t MarkupFactory::utf8Sequence(const char* p, const char* end, bool& wellFormed)
{
    const auto byte = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
    const std::size_t available = static_cast<std::size_t>(end - p);
    const unsigned char lead = byte(0);
    wellFormed = lead < 0x80;
    // The second byte's range depends on the lead byte: this rules out overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4).
    std::size_t length = 1;
    unsigned char low = 0x80, high = 0xBF;
    if (inRange(lead, 0xC2, 0xDF))
    {
        length = 2;
    }
    else if (inRange(lead, 0xE0, 0xEF))
    {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    }
    else if (inRange(lead, 0xF0, 0xF4))
    {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    }
    else
    {
        return 1;  // ASCII, or a byte that never starts a sequence
    }
    std::size_t i = 1;
    while (i < length && i < available && inRange(byte(i), i == 1 ? low : 0x80, i == 1 ? high : 0xBF))
    {
        ++i;
    }
    wellFormed = i == length;
    return i;
}

void MarkupFactory::writeBaseTypeName(BaseType baseType)
{
    const std::string_view name = BASE_TYPE_NAMES[baseType >= 0 && baseType < BT_MAX ? baseType : BT_UNKNOWN];
    write(name.data(), name.size());
}

void MarkupFactory::writeLineStart(std::size_t level)
{
    static const char BLANKS[] = "                                ";
    if (!_format)
    {
        return;
    }
    write('\n');
    for (std::size_t blanks = 2 * level; blanks > 0;)
    {
        const std::size_t piece = std::min(blanks, sizeof(BLANKS) - 1);
        write(BLANKS, piece);
        blanks -= piece;
    }
}

bool MarkupFactory::isReservedName(const std::string& /*name*/) const
{
    return false;
}

void MarkupFactory::writeMarkup(const Element& element, bool closeMarkup, bool startArray)
{
    checkNotComplete();
    _started = true;
    Frame* parent = _open.empty() ? nullptr : &_open.back();
    Placement placement = ROOT;
    if (parent)
    {
        parent->itemMode = parent->itemMode || startArray || isReservedName(*element.name);
        placement = parent->itemMode ? ITEM : MEMBER;
    }
    writeElement(element, placement, parent, closeMarkup);
    if (parent)
    {
        parent->hasChildren = true;
        parent->hasItems = parent->hasItems || placement == ITEM;
    }
    if (!closeMarkup)
    {
        _open.push_back(Frame{element.baseType, isCollection(element.baseType), false, false});
    }
    else if (!parent)
    {
        writeDocumentEnd();
        _complete = true;
    }
    endCall();
}

void MarkupFactory::closeInnermost()
{
    writeClose(_open.back());
    _open.pop_back();
    if (_open.empty())
    {
        writeDocumentEnd();
        _complete = true;
    }
}

void MarkupFactory::checkNotComplete() const
{
    if (_complete)
    {
        throw Poco::IllegalStateException("markup after the document was completed");
    }
}

void MarkupFactory::flush()
{
    handOverBuffer();
    endCall();
}

void MarkupFactory::endCall()
{
    if (_handOverEachCall || _complete)
    {
        handOverBuffer();
    }
    if (!_stream)
    {
        throw Poco::IOException("markup output stream failed");
    }
}

void MarkupFactory::handOverBuffer()
{
    const std::streamsize length = _next - _buffer.data();
    if (length > 0 && _stream.rdbuf()->sputn(_buffer.data(), length) != length)
    {
        _stream.setstate(std::ios::badbit);
    }
    _next = _buffer.data();
}

void MarkupFactory::writeLong(const char* text, std::size_t length)
{
    handOverBuffer();
    if (length < _buffer.size())
    {
        write(text, length);
    }
    else if (_stream.rdbuf()->sputn(text, static_cast<std::streamsize>(length)) !=
             static_cast<std::streamsize>(length))
    {
        _stream.setstate(std::ios::badbit);
    }
}

}  // namespace Orvik::BACnet::WS
