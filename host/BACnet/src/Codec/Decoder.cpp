#include "Orvik_BACnet/Codec/Decoder.h"

#include <cstring>

#include "CharacterSet.h"
#include "Orvik_BACnet/Codec/DecodeError.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _EXTENDED_NUMBER = 15;
constexpr std::uint8_t _EXTENDED_LENGTH = 5;
constexpr std::uint8_t _OPENING_LVT = 6;
constexpr std::uint8_t _CLOSING_LVT = 7;
constexpr std::uint8_t _CONTEXT_CLASS = 0x08;
constexpr std::uint8_t _LENGTH_IN_TWO_OCTETS = 254;
constexpr std::uint8_t _LENGTH_IN_FOUR_OCTETS = 255;
constexpr std::uint8_t _RESERVED_NUMBER = 255;
constexpr std::uint16_t _DATE_YEAR_BASE = 1900;

[[noreturn]] void malformed(const std::string& what, int code = ERROR_CODE_INVALID_DATA_ENCODING)
{
    throw DecodeError(what, code);
}

std::uint64_t bigEndian(const std::uint8_t* octets, std::size_t count)
{
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < count; ++i)
    {
        value = (value << 8) | octets[i];
    }
    return value;
}

void checkLength(const Tag& tag, std::size_t expected, const char* what)
{
    if (tag.length != expected)
    {
        malformed(std::string(what) + " of " + std::to_string(tag.length) + " octets");
    }
}

}  // namespace

void Decoder::expectEnd() const
{
    if (!atEnd())
    {
        malformed(std::to_string(remaining()) + " unexpected octets after the last field");
    }
}

Tag Decoder::peekTag() const
{
    const std::uint8_t* p = _octets.data + _pos;
    const std::size_t available = remaining();
    if (available == 0)
    {
        malformed("field missing at the end of the data", ERROR_CODE_INVALID_TAG);
    }
    Tag tag;
    std::size_t used = 1;
    const std::uint8_t first = p[0];
    tag.number = first >> 4;
    if (tag.number == _EXTENDED_NUMBER)
    {
        if (available < 2 || p[1] == _RESERVED_NUMBER)
        {
            malformed("extended tag number cut short or reserved", ERROR_CODE_INVALID_TAG);
        }
        tag.number = p[1];
        used = 2;
    }
    const std::uint8_t lvt = first & 0x07;
    const bool context = (first & _CONTEXT_CLASS) != 0;
    if (lvt == _OPENING_LVT || lvt == _CLOSING_LVT)
    {
        if (!context)
        {
            malformed("application tag with the opening or closing form", ERROR_CODE_INVALID_TAG);
        }
        tag.kind = lvt == _OPENING_LVT ? Tag::OPENING : Tag::CLOSING;
        tag.headerSize = static_cast<std::uint8_t>(used);
        return tag;
    }
    tag.kind = context ? Tag::CONTEXT : Tag::APPLICATION;
    if (tag.isApplication(BACNET_APPLICATION_TAG_BOOLEAN))
    {
        if (lvt > 1)
        {
            malformed("BOOLEAN of value " + std::to_string(lvt));
        }
        tag.length = lvt;
        tag.headerSize = static_cast<std::uint8_t>(used);
        return tag;
    }
    if (lvt < _EXTENDED_LENGTH)
    {
        tag.length = lvt;
    }
    else
    {
        if (available < used + 1)
        {
            malformed("extended length cut short", ERROR_CODE_INVALID_TAG);
        }
        const std::uint8_t marker = p[used++];
        const std::size_t width =
            marker == _LENGTH_IN_TWO_OCTETS ? 2 : (marker == _LENGTH_IN_FOUR_OCTETS ? 4 : 0);
        if (available < used + width)
        {
            malformed("extended length cut short", ERROR_CODE_INVALID_TAG);
        }
        tag.length = width == 0 ? marker : static_cast<std::uint32_t>(bigEndian(p + used, width));
        used += width;
    }
    if (tag.length > available - used)
    {
        malformed("value of " + std::to_string(tag.length) + " octets where " +
                  std::to_string(available - used) + " remain");
    }
    tag.headerSize = static_cast<std::uint8_t>(used);
    return tag;
}

bool Decoder::isApplication(BACNET_APPLICATION_TAG tag) const
{
    return !atEnd() && peekTag().isApplication(static_cast<std::uint8_t>(tag));
}

bool Decoder::isContext(std::uint8_t number) const
{
    return !atEnd() && peekTag().isContext(number);
}

bool Decoder::isOpening(std::uint8_t number) const
{
    return !atEnd() && peekTag().isOpening(number);
}

bool Decoder::isClosing(std::uint8_t number) const
{
    return !atEnd() && peekTag().isClosing(number);
}

Tag Decoder::readTag()
{
    const Tag tag = peekTag();
    _pos += tag.headerSize;
    return tag;
}

Tag Decoder::readTag(Tag::Kind kind, std::uint8_t number)
{
    const Tag tag = peekTag();
    if (tag.kind != kind || tag.number != number)
    {
        static const char* const kinds[] = {"application tag", "context tag", "opening tag", "closing tag"};
        malformed(std::string("expected ") + kinds[kind] + " " + std::to_string(number) + ", found " +
                      kinds[tag.kind] + " " + std::to_string(tag.number),
                  ERROR_CODE_INVALID_TAG);
    }
    _pos += tag.headerSize;
    return tag;
}

const std::uint8_t* Decoder::take(std::size_t count)
{
    if (count > remaining())
    {
        malformed("value cut short");
    }
    const std::uint8_t* p = _octets.data + _pos;
    _pos += count;
    return p;
}

BACnetValue Decoder::readApplicationValue()
{
    const Tag tag = readTag();
    if (tag.kind != Tag::APPLICATION)
    {
        malformed("expected an application-tagged value, found context tag " + std::to_string(tag.number),
                  ERROR_CODE_INVALID_TAG);
    }
    return readContents(tag, static_cast<BACNET_APPLICATION_TAG>(tag.number));
}

std::uint64_t Decoder::readApplicationUnsigned()
{
    const Tag tag = readTag(Tag::APPLICATION, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER);
    return readContents(tag, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER).get<std::uint64_t>();
}

std::uint32_t Decoder::readApplicationEnumerated()
{
    const Tag tag = readTag(Tag::APPLICATION, BACNET_APPLICATION_TAG_ENUMERATED);
    return readContents(tag, BACNET_APPLICATION_TAG_ENUMERATED).get<DataType::Enumerated>().value;
}

DataType::ObjectIdentifier Decoder::readApplicationObjectIdentifier()
{
    const Tag tag = readTag(Tag::APPLICATION, BACNET_APPLICATION_TAG_OBJECT_IDENTIFIER);
    return readContents(tag, BACNET_APPLICATION_TAG_OBJECT_IDENTIFIER).get<DataType::ObjectIdentifier>();
}

BACnetValue Decoder::readContextValue(std::uint8_t number, BACNET_APPLICATION_TAG appTag)
{
    const Tag tag = readTag(Tag::CONTEXT, number);
    return readContents(tag, appTag);
}

std::uint64_t Decoder::readUnsigned(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER).get<std::uint64_t>();
}

std::uint32_t Decoder::readUnsigned32(std::uint8_t number)
{
    const std::uint64_t value = readUnsigned(number);
    if (value > 0xFFFFFFFFu)
    {
        malformed("Unsigned32 field " + std::to_string(number) + " out of range");
    }
    return static_cast<std::uint32_t>(value);
}

std::int64_t Decoder::readSigned(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_SIGNED_INTEGER).get<std::int64_t>();
}

std::uint32_t Decoder::readEnumerated(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_ENUMERATED).get<DataType::Enumerated>().value;
}

bool Decoder::readBoolean(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_BOOLEAN).get<bool>();
}

float Decoder::readReal(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_REAL).get<float>();
}

DataType::ObjectIdentifier Decoder::readObjectIdentifier(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_OBJECT_IDENTIFIER)
        .get<DataType::ObjectIdentifier>();
}

DataType::BitString Decoder::readBitString(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_BIT_STRING).get<DataType::BitString>();
}

DataType::Time Decoder::readTime(std::uint8_t number)
{
    return readContextValue(number, BACNET_APPLICATION_TAG_TIME).get<DataType::Time>();
}

void Decoder::readOpening(std::uint8_t number)
{
    readTag(Tag::OPENING, number);
}

void Decoder::readClosing(std::uint8_t number)
{
    readTag(Tag::CLOSING, number);
}

Decoder Decoder::readEnclosed(std::uint8_t number)
{
    readOpening(number);
    const std::size_t contentSize = findClosing(number);
    Decoder content(OctetView(_octets.data + _pos, contentSize));
    _pos += contentSize;
    readClosing(number);
    return content;
}

void Decoder::skipValue()
{
    const Tag tag = readTag();
    if (tag.kind == Tag::CLOSING)
    {
        malformed("closing tag " + std::to_string(tag.number) + " without opening tag",
                  ERROR_CODE_INVALID_TAG);
    }
    if (tag.kind == Tag::OPENING)
    {
        _pos += findClosing(tag.number);
        readClosing(tag.number);
        return;
    }
    take(tag.contentLength());
}

std::size_t Decoder::findClosing(std::uint8_t number) const
{
    // Walks the tags after the opening tag; each opening tag must be closed by the same number.
    std::uint8_t open[_MAX_DEPTH];
    unsigned depth = 0;
    open[depth++] = number;
    Decoder scan(rest());
    while (true)
    {
        const std::size_t at = scan._pos;
        const Tag tag = scan.peekTag();  // throws when the data ends before the closing tag
        scan._pos += tag.headerSize + tag.contentLength();
        if (tag.kind == Tag::OPENING)
        {
            if (depth == _MAX_DEPTH)
            {
                malformed("values nested deeper than " + std::to_string(_MAX_DEPTH));
            }
            open[depth++] = tag.number;
        }
        else if (tag.kind == Tag::CLOSING)
        {
            if (tag.number != open[depth - 1])
            {
                malformed("closing tag " + std::to_string(tag.number) + " does not match opening tag " +
                              std::to_string(open[depth - 1]),
                          ERROR_CODE_INVALID_TAG);
            }
            if (--depth == 0)
            {
                return at;
            }
        }
    }
}

BACnetValue Decoder::readContents(const Tag& tag, BACNET_APPLICATION_TAG appTag)
{
    const std::uint32_t length = tag.contentLength();
    const std::uint8_t* p = take(length);
    switch (appTag)
    {
        case BACNET_APPLICATION_TAG_NULL:
            checkLength(tag, 0, "NULL");
            return BACnetValue();
        case BACNET_APPLICATION_TAG_BOOLEAN:
            if (tag.kind == Tag::APPLICATION)
            {
                return BACnetValue(tag.length != 0);
            }
            checkLength(tag, 1, "BOOLEAN");
            if (p[0] > 1)
            {
                malformed("BOOLEAN of value " + std::to_string(p[0]));
            }
            return BACnetValue(p[0] != 0);
        case BACNET_APPLICATION_TAG_UNSIGNED_INTEGER:
            if (length == 0 || length > 8)
            {
                malformed("Unsigned of " + std::to_string(length) + " octets");
            }
            return BACnetValue(bigEndian(p, length));
        case BACNET_APPLICATION_TAG_SIGNED_INTEGER:
        {
            if (length == 0 || length > 8)
            {
                malformed("INTEGER of " + std::to_string(length) + " octets");
            }
            std::uint64_t raw = bigEndian(p, length);
            if (length < 8 && (p[0] & 0x80) != 0)
            {
                raw |= ~std::uint64_t(0) << (8 * length);  // sign extension
            }
            return BACnetValue(static_cast<std::int64_t>(raw));
        }
        case BACNET_APPLICATION_TAG_REAL:
        {
            checkLength(tag, 4, "REAL");
            const std::uint32_t bits = static_cast<std::uint32_t>(bigEndian(p, 4));
            float value;
            std::memcpy(&value, &bits, sizeof(value));
            return BACnetValue(value);
        }
        case BACNET_APPLICATION_TAG_DOUBLE:
        {
            checkLength(tag, 8, "Double");
            const std::uint64_t bits = bigEndian(p, 8);
            double value;
            std::memcpy(&value, &bits, sizeof(value));
            return BACnetValue(value);
        }
        case BACNET_APPLICATION_TAG_OCTET_STRING:
            return BACnetValue::makeOctetString(std::string(reinterpret_cast<const char*>(p), length));
        case BACNET_APPLICATION_TAG_CHARACTER_STRING:
            if (length == 0)
            {
                malformed("CharacterString without character set");
            }
            return BACnetValue(CharacterSet::toUtf8(p[0], p + 1, length - 1));
        case BACNET_APPLICATION_TAG_BIT_STRING:
        {
            if (length == 0 || p[0] > 7 || (length == 1 && p[0] != 0))
            {
                malformed("BIT STRING with a wrong count of unused bits");
            }
            const std::size_t bitCount = (length - 1) * 8 - p[0];
            DataType::BitString bits(bitCount);
            for (std::size_t i = 0; i < bitCount; ++i)
            {
                // Bit 0 is the most significant bit of the first octet.
                bits.setBit(i, (p[1 + i / 8] & (0x80 >> (i % 8))) != 0);
            }
            return BACnetValue(std::move(bits));
        }
        case BACNET_APPLICATION_TAG_ENUMERATED:
        {
            if (length == 0 || length > 8)
            {
                malformed("ENUMERATED of " + std::to_string(length) + " octets");
            }
            const std::uint64_t value = bigEndian(p, length);
            if (value > 0xFFFFFFFFu)
            {
                malformed("ENUMERATED above 32 bits");
            }
            return BACnetValue::makeEnumerated(static_cast<std::uint32_t>(value));
        }
        case BACNET_APPLICATION_TAG_DATE:
            checkLength(tag, 4, "Date");
            return BACnetValue(
                DataType::Date(static_cast<std::uint16_t>(_DATE_YEAR_BASE + p[0]), p[1], p[2], p[3]));
        case BACNET_APPLICATION_TAG_TIME:
            checkLength(tag, 4, "Time");
            return BACnetValue(DataType::Time(p[0], p[1], p[2], p[3]));
        case BACNET_APPLICATION_TAG_OBJECT_IDENTIFIER:
            checkLength(tag, 4, "BACnetObjectIdentifier");
            return BACnetValue(
                DataType::ObjectIdentifier::fromEncoded(static_cast<std::uint32_t>(bigEndian(p, 4))));
        default:
            malformed("application tag " + std::to_string(appTag) + " is reserved",
                      ERROR_CODE_DATATYPE_NOT_SUPPORTED);
    }
}

}  // namespace Orvik::BACnet::Codec
