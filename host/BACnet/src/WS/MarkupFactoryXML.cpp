//
// MarkupFactoryXML.cpp
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactoryXML
//

#include "Orvik_BACnet/WS/MarkupFactoryXML.h"

#include <algorithm>

namespace Orvik::BACnet::WS
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

/// Bytes that stand for themselves in an attribute value: printable ASCII except the markup characters.
struct PlainBytes
{
    bool plain[256];
    constexpr PlainBytes() : plain()
    {
        for (int c = 0x20; c < 0x80; ++c)
        {
            plain[c] = c != '&' && c != '<' && c != '>' && c != '"';
        }
    }
};
constexpr PlainBytes PLAIN_BYTES;

/// U+FFFE and U+FFFF are well-formed UTF-8 but not XML characters.
bool isXMLNonCharacter(const char* p, std::size_t length)
{
    return length == 3 && static_cast<unsigned char>(p[0]) == 0xEF &&
           static_cast<unsigned char>(p[1]) == 0xBF && static_cast<unsigned char>(p[2]) >= 0xBE;
}

}  // namespace

MarkupFactoryXML::MarkupFactoryXML(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings,
                                   HandOver handOver)
    : MarkupFactory(stream, format, textExtendEnumsAndBitStrings, handOver)
{
}

MarkupFactoryXML::~MarkupFactoryXML() = default;

void MarkupFactoryXML::writeHeader()
{
    write("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    if (format())
    {
        write('\n');
    }
}

void MarkupFactoryXML::writeElement(const Element& element, Placement placement, const Frame* /*parent*/,
                                    bool closeMarkup)
{
    if (placement != ROOT)
    {
        writeLineStart(depth());
    }
    write('<');
    writeBaseTypeName(element.baseType);
    writeAttribute(" name=\"", *element.name);
    if (element.value)
    {
        writeAttribute(" value=\"", *element.value);
    }
    if (element.errorCode != 0)
    {
        write(" error=\"");
        write(std::to_string(element.errorCode));
        write('"');
    }
    if (element.truncated)
    {
        write(" truncated=\"true\"");
    }
    for (int attribute = 0; element.hasAttributes && attribute < ATTR_COUNT; ++attribute)
    {
        if (!element.attributes[attribute].empty())
        {
            write(' ');
            write(attributeName(static_cast<Attribute>(attribute)));
            writeAttribute("=\"", element.attributes[attribute]);
        }
    }
    if (closeMarkup)
    {
        write("/>");
    }
    else
    {
        write('>');
    }
}

void MarkupFactoryXML::writeClose(const Frame& frame)
{
    if (frame.hasChildren)
    {
        writeLineStart(depth() - 1);
    }
    write("</");
    writeBaseTypeName(frame.baseType);
    write('>');
}

void MarkupFactoryXML::writeDocumentEnd()
{
    if (format())
    {
        write('\n');
    }
}

void MarkupFactoryXML::writeAttribute(const char* opening, const std::string& value)
{
    write(opening);
    writeEscaped(value);
    write('"');
}

void MarkupFactoryXML::writeEscaped(const std::string& text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end)
    {
        const char* const chunkEnd = p + std::min(static_cast<std::size_t>(end - p), _ESCAPE_CHUNK);
        char* out = reserve((_ESCAPE_CHUNK + 3) * _MAX_ESCAPE_GROWTH);
        while (p < chunkEnd)
        {
            const unsigned char c = static_cast<unsigned char>(*p);
            if (PLAIN_BYTES.plain[c])
            {
                *out++ = *p++;
                continue;
            }
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
            out = replacement ? copyText(replacement, out) : std::copy(p, p + length, out);
            p += length;
        }
        commit(out);
    }
}

}  // namespace Orvik::BACnet::WS
