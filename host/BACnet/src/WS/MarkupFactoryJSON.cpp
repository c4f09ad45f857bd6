//
// MarkupFactoryJSON.cpp
//
// Library: Orvik_BACnet
// Package: WS
// Module:  MarkupFactoryJSON
//

#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"

#include <Poco/NumberParser.h>
#include <Poco/String.h>

#include <algorithm>
#include <cmath>

namespace Orvik::BACnet::WS
{

namespace
{

/// The longest integer written as a JSON number: 18 digits always fit a 64-bit integer, so no consumer
/// rounds or rejects it. Longer ones are written as strings.
const std::size_t MAX_INTEGER_DIGITS = 18;

/// The longest number without an exponent that is known to be within the range of a double unparsed.
const std::size_t MAX_PLAIN_DECIMAL_LENGTH = 300;

std::size_t skipDigits(const std::string& text, std::size_t i)
{
    while (i < text.size() && text[i] >= '0' && text[i] <= '9')
    {
        ++i;
    }
    return i;
}

/// True when text is a JSON number (RFC 8259) that common parsers take: an integer of at most
/// MAX_INTEGER_DIGITS digits when integerOnly is set, else any number within the range of a double.
bool isJSONNumber(const std::string& text, bool integerOnly)
{
    std::size_t i = !text.empty() && text[0] == '-' ? 1 : 0;
    const std::size_t digitsStart = i;
    i = skipDigits(text, i);
    const std::size_t digits = i - digitsStart;
    if (digits == 0 || (digits > 1 && text[digitsStart] == '0'))
    {
        return false;
    }
    if (integerOnly)
    {
        return i == text.size() && digits <= MAX_INTEGER_DIGITS;
    }
    if (i < text.size() && text[i] == '.')
    {
        const std::size_t fractionStart = i + 1;
        i = skipDigits(text, fractionStart);
        if (i == fractionStart)
        {
            return false;
        }
    }
    const bool plainDecimal = i == text.size();
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E'))
    {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        {
            ++i;
        }
        const std::size_t exponentStart = i;
        i = skipDigits(text, exponentStart);
        if (i == exponentStart)
        {
            return false;
        }
    }
    // A number beyond the range of a double is valid JSON but breaks common parsers. Without an exponent
    // and with fewer than 309 digits a number stays below 10^308, within range, and needs no parsing.
    if (plainDecimal && text.size() <= MAX_PLAIN_DECIMAL_LENGTH)
    {
        return true;
    }
    double parsed = 0;
    return i == text.size() && Poco::NumberParser::tryParseFloat(text, parsed) && std::isfinite(parsed);
}

/// The JSON literal of a boolean value text, null when the text is not a boolean.
const char* booleanLiteral(const std::string& text)
{
    if (text == "1" || Poco::icompare(text, "true") == 0)
    {
        return "true";
    }
    if (text == "0" || Poco::icompare(text, "false") == 0)
    {
        return "false";
    }
    return nullptr;
}

/// The escape of an ASCII byte inside a JSON string, null when the byte stands for itself.
const char* asciiEscape(unsigned char c)
{
    static const char* const CONTROL_ESCAPES[0x20] = {
        "\\u0000", "\\u0001", "\\u0002", "\\u0003", "\\u0004", "\\u0005", "\\u0006", "\\u0007",
        "\\b",     "\\t",     "\\n",     "\\u000b", "\\f",     "\\r",     "\\u000e", "\\u000f",
        "\\u0010", "\\u0011", "\\u0012", "\\u0013", "\\u0014", "\\u0015", "\\u0016", "\\u0017",
        "\\u0018", "\\u0019", "\\u001a", "\\u001b", "\\u001c", "\\u001d", "\\u001e", "\\u001f"};
    if (c < 0x20)
    {
        return CONTROL_ESCAPES[c];
    }
    if (c == '"')
    {
        return "\\\"";
    }
    return c == '\\' ? "\\\\" : nullptr;
}

/// Bytes that stand for themselves in a JSON string: printable ASCII except '"' and '\\'.
struct PlainBytes
{
    bool plain[256];
    constexpr PlainBytes() : plain()
    {
        for (int c = 0x20; c < 0x80; ++c)
        {
            plain[c] = c != '"' && c != '\\';
        }
    }
};
constexpr PlainBytes PLAIN_BYTES;

/// U+2028 and U+2029 are valid in JSON strings but end a line in script, which JSONP consumers evaluate.
const char* lineSeparatorEscape(const char* p, std::size_t length)
{
    if (length != 3 || static_cast<unsigned char>(p[0]) != 0xE2 || static_cast<unsigned char>(p[1]) != 0x80)
    {
        return nullptr;
    }
    const unsigned char last = static_cast<unsigned char>(p[2]);
    return last == 0xA8 ? "\\u2028" : last == 0xA9 ? "\\u2029" : nullptr;
}

}  // namespace

MarkupFactoryJSON::MarkupFactoryJSON(std::ostream& stream, bool format, bool textExtendEnumsAndBitStrings,
                                     HandOver handOver)
    : MarkupFactory(stream, format, textExtendEnumsAndBitStrings, handOver)
{
}

MarkupFactoryJSON::~MarkupFactoryJSON() = default;

bool MarkupFactoryJSON::isReservedName(const std::string& name) const
{
    return !name.empty() && name[0] == '$';
}

void MarkupFactoryJSON::writeHeader() {}

void MarkupFactoryJSON::writeElement(const Element& element, Placement placement, const Frame* parent,
                                     bool closeMarkup)
{
    // The element sits at JSON nesting level depth() + 1: the document object is level 0.
    if (placement == ITEM)
    {
        if (parent->hasItems)
        {
            write(',');
        }
        else
        {
            writeSpelled(",\"$items\":[", ", \"$items\": [");
        }
        writeLineStart(depth() + 1);
        writeSpelled("{\"$name\":", "{\"$name\": ");
        writeString(*element.name);
        writeSpelled(",\"$base\":\"", ", \"$base\": \"");
    }
    else
    {
        write(placement == ROOT ? '{' : ',');
        writeLineStart(depth() + 1);
        writeString(*element.name);
        writeSpelled(":{\"$base\":\"", ": {\"$base\": \"");
    }
    writeBaseTypeName(element.baseType);
    write('"');
    if (element.value)
    {
        writeSpelled(",\"$value\":", ", \"$value\": ");
        writeValue(element.baseType, *element.value);
    }
    if (element.errorCode != 0)
    {
        writeSpelled(",\"$error\":", ", \"$error\": ");
        write(std::to_string(element.errorCode));
    }
    if (element.truncated)
    {
        writeSpelled(",\"$truncated\":true", ", \"$truncated\": true");
    }
    for (int attribute = 0; element.hasAttributes && attribute < ATTR_COUNT; ++attribute)
    {
        if (!element.attributes[attribute].empty())
        {
            writeSpelled(",\"$", ", \"$");
            write(attributeName(static_cast<Attribute>(attribute)));
            writeSpelled("\":", "\": ");
            writeString(element.attributes[attribute]);
        }
    }
    if (closeMarkup)
    {
        writeCompleteEnd(element.baseType);
    }
}

void MarkupFactoryJSON::writeCompleteEnd(BaseType baseType)
{
    // A collection always has its "$items", so that readers need not tell an empty one apart.
    if (isCollection(baseType))
    {
        writeSpelled(",\"$items\":[]}", ", \"$items\": []}");
    }
    else
    {
        write('}');
    }
}

void MarkupFactoryJSON::writeClose(const Frame& frame)
{
    if (frame.hasChildren)
    {
        writeLineStart(depth());
    }
    if (frame.hasItems)
    {
        write("]}");
    }
    else
    {
        writeCompleteEnd(frame.baseType);
    }
}

void MarkupFactoryJSON::writeDocumentEnd()
{
    writeLineStart(0);
    write('}');
    if (format())
    {
        write('\n');
    }
}

void MarkupFactoryJSON::writeValue(BaseType baseType, const std::string& value)
{
    bool number = false;
    switch (baseType)
    {
        case BT_BOOLEAN:
            if (const char* literal = booleanLiteral(value))
            {
                write(literal);
                return;
            }
            break;
        case BT_UNSIGNED:
        case BT_INTEGER:
        case BT_ENUMERATED:
            number = isJSONNumber(value, true);
            break;
        case BT_REAL:
        case BT_DOUBLE:
            number = isJSONNumber(value, false);
            break;
        default:
            break;
    }
    if (number)
    {
        write(value);
    }
    else
    {
        writeString(value);
    }
}

void MarkupFactoryJSON::writeString(const std::string& text)
{
    write('"');
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
                replacement = asciiEscape(c);
            }
            else
            {
                bool wellFormed = false;
                length = utf8Sequence(p, end, wellFormed);
                replacement = wellFormed ? lineSeparatorEscape(p, length) : _REPLACEMENT_CHARACTER;
            }
            out = replacement ? copyText(replacement, out) : std::copy(p, p + length, out);
            p += length;
        }
        commit(out);
    }
    write('"');
}

}  // namespace Orvik::BACnet::WS
