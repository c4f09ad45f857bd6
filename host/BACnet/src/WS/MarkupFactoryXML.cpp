//
// MarkupFactoryXML.cpp
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactoryXML
//

#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <cstring>

namespace Orvik
{
namespace BACnet
{
namespace WS
{

namespace
{

/// The text that stands for an ASCII byte in an attribute value, null when the byte stands for itself.
/// Control characters that XML 1.0 cannot carry become U+FFFD.
const char* asciiReplacement(unsigned char c, const char* replacementCharacter)
{
    switch (c)
    {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\t':
            return "&#9;";
        case '\n':
            return "&#10;";
        case '\r':
            return "&#13;";
        default:
            return c < 0x20 ? replacementCharacter : nullptr;
    }
}

/// U+FFFE and U+FFFF are well-formed UTF-8 but not XML characters.
bool isXMLNonCharacter(const char* p, std::size_t length)
{
    return length == 3 && static_cast<unsigned char>(p[0]) == 0xEF &&
           static_cast<unsigned char>(p[1]) == 0xBF && static_cast<unsigned char>(p[2]) >= 0xBE;
}

}  // namespace

MarkupFactoryXML::MarkupFactoryXML(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings)
    : MarkupFactory(stream, format, textExtendEnumsAndBitStrings)
{
}

MarkupFactoryXML::~MarkupFactoryXML() = default;

void MarkupFactoryXML::writeHeader()
{
    stream() << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
    if (format())
    {
        stream() << '\n';
    }
}

void MarkupFactoryXML::writeElement(const Element& element, Placement placement, const Frame* /*parent*/,
                                    bool closeMarkup)
{
    if (placement != ROOT)
    {
        writeLineStart(depth());
    }
    stream() << '<' << baseTypeName(element.baseType);
    writeAttribute("name", *element.name);
    if (element.value)
    {
        writeAttribute("value", *element.value);
    }
    if (element.errorCode != 0)
    {
        stream() << " error=\"" << element.errorCode << '"';
    }
    if (element.truncated)
    {
        stream() << " truncated=\"true\"";
    }
    for (int attribute = 0; attribute < ATTR_COUNT; ++attribute)
    {
        if (!element.attributes[attribute]->empty())
        {
            writeAttribute(attributeName(static_cast<Attribute>(attribute)), *element.attributes[attribute]);
        }
    }
    stream() << (closeMarkup ? "/>" : ">");
}

void MarkupFactoryXML::writeClose(const Frame& frame)
{
    if (frame.hasChildren)
    {
        writeLineStart(depth() - 1);
    }
    stream() << "</" << baseTypeName(frame.baseType) << '>';
}

void MarkupFactoryXML::writeDocumentEnd()
{
    if (format())
    {
        stream() << '\n';
    }
}

void MarkupFactoryXML::writeLineStart(std::size_t level)
{
    if (format())
    {
        stream() << '\n';
        for (std::size_t i = 0; i < level; ++i)
        {
            stream().write("  ", 2);
        }
    }
}

void MarkupFactoryXML::writeAttribute(const char* name, const std::string& value)
{
    stream() << ' ' << name << "=\"";
    writeEscaped(value);
    stream() << '"';
}

void MarkupFactoryXML::writeEscaped(const std::string& text)
{
    std::ostream& os = stream();
    const char* p = text.data();
    const char* const end = p + text.size();
    const char* run = p;  // start of the bytes not yet written that stand for themselves
    while (p < end)
    {
        const unsigned char c = static_cast<unsigned char>(*p);
        std::size_t length = 1;
        const char* replacement = nullptr;
        if (c < 0x80)
        {
            replacement = asciiReplacement(c, _REPLACEMENT_CHARACTER);
        }
        else
        {
            bool wellFormed = false;
            length = utf8Sequence(p, end, wellFormed);
            if (!wellFormed || isXMLNonCharacter(p, length))
            {
                replacement = _REPLACEMENT_CHARACTER;
            }
        }
        if (replacement)
        {
            os.write(run, p - run);
            os.write(replacement, static_cast<std::streamsize>(std::strlen(replacement)));
            run = p + length;
        }
        p += length;
    }
    os.write(run, p - run);
}

}  // namespace WS
}  // namespace BACnet
}  // namespace Orvik
