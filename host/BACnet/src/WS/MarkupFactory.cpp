//
// MarkupFactory.cpp
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactory
//

#include "Orvik_BACnet/WS/MarkupFactory.h"

#include <Poco/Exception.h>

namespace Orvik
{
namespace BACnet
{
namespace WS
{

namespace
{

const char* const BASE_TYPE_NAMES[] = {"Null",
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

}  // namespace

const char MarkupFactory::_REPLACEMENT_CHARACTER[] = "\xEF\xBF\xBD";

MarkupFactory::MarkupFactory(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings)
    : _stream(stream),
      _format(format),
      _textExtendEnumsAndBitStrings(textExtendEnumsAndBitStrings),
      _started(false),
      _complete(false)
{
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
    checkStream();
}

void MarkupFactory::markup(BaseType baseType, const std::string& name, const std::string& value,
                           bool closeMarkup, bool startArray, int /*bacnetDataType*/, bool /*embedded*/,
                           Poco::UInt32 errorCode, bool truncated, bool isDefinition,
                           const std::string& comment, const std::string& errorTxt,
                           const std::string& displayName, const std::string& typeName,
                           const std::string& maximum, const std::string& minimum,
                           const std::string& contextTag, const std::string& propId,
                           const std::string& writable, const std::string& description)
{
    const bool valueOptional = baseType == BT_NULL || isConstructed(baseType);
    const bool carriesValue = !isDefinition && (!value.empty() || !valueOptional);
    const Element element{baseType,
                          &name,
                          carriesValue ? &value : nullptr,
                          errorCode,
                          truncated,
                          {&comment, &errorTxt, &displayName, &typeName, &maximum, &minimum, &contextTag,
                           &propId, &writable, &description}};
    writeMarkup(element, closeMarkup, startArray);
}

void MarkupFactory::markup(BaseType baseType, const std::string& name, bool closeMarkup, bool startArray,
                           int bacnetDataType, bool embedded, Poco::UInt32 errorCode, bool truncated,
                           bool isDefinition, const std::string& comment, const std::string& errorTxt,
                           const std::string& displayName, const std::string& typeName,
                           const std::string& maximum, const std::string& minimum,
                           const std::string& contextTag, const std::string& propId,
                           const std::string& writable, const std::string& description)
{
    markup(baseType, name, std::string(), closeMarkup, startArray, bacnetDataType, embedded, errorCode,
           truncated, isDefinition, comment, errorTxt, displayName, typeName, maximum, minimum, contextTag,
           propId, writable, description);
}

void MarkupFactory::closeOpenMarkup()
{
    if (_open.empty())
    {
        throw Poco::IllegalStateException("no open markup to close");
    }
    closeInnermost();
    checkStream();
}

void MarkupFactory::closeAllOpenMarkups()
{
    while (!_open.empty())
    {
        closeInnermost();
    }
    checkStream();
}

const char* MarkupFactory::baseTypeName(BaseType baseType)
{
    return baseType >= 0 && baseType < BT_MAX ? BASE_TYPE_NAMES[baseType] : BASE_TYPE_NAMES[BT_UNKNOWN];
}

bool MarkupFactory::isCollection(BaseType baseType)
{
    return baseType == BT_LIST || baseType == BT_SEQUENCE_OF || baseType == BT_ARRAY;
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

std::size_t MarkupFactory::utf8SequenceLength(const char* p, const char* end)
{
    const auto byte = [p](std::size_t i) { return static_cast<unsigned char>(p[i]); };
    const std::size_t available = static_cast<std::size_t>(end - p);
    const unsigned char lead = byte(0);
    if (lead < 0x80)
    {
        return 1;
    }
    // The second byte's range depends on the lead byte: this rules out overlong forms (E0, F0),
    // surrogates (ED) and code points above U+10FFFF (F4).
    std::size_t length = 0;
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
    if (length == 0 || available < length || !inRange(byte(1), low, high))
    {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i)
    {
        if (!inRange(byte(i), 0x80, 0xBF))
        {
            return 0;
        }
    }
    return length;
}

void MarkupFactory::writeMarkup(const Element& element, bool closeMarkup, bool startArray)
{
    checkNotComplete();
    _started = true;
    Frame* parent = _open.empty() ? nullptr : &_open.back();
    Placement placement = ROOT;
    if (parent)
    {
        parent->itemMode = parent->itemMode || startArray;
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
    checkStream();
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

void MarkupFactory::checkStream() const
{
    if (!_stream)
    {
        throw Poco::IOException("markup output stream failed");
    }
}

}  // namespace WS
}  // namespace BACnet
}  // namespace Orvik
