#include "Orvik_BACnet/Codec/Encoder.h"

#include <cstring>

#include <Poco/Exception.h>

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint16_t _DATE_YEAR_BASE = 1900;
constexpr std::uint8_t _UTF8 = 0;

/// Octets needed for `value` as Unsigned (at least one).
std::size_t unsignedWidth(std::uint64_t value)
{
    std::size_t width = 1;
    while (width < 8 && (value >> (8 * width)) != 0)
    {
        ++width;
    }
    return width;
}

/// Octets needed for `value` as two's complement INTEGER (at least one).
std::size_t signedWidth(std::int64_t value)
{
    std::size_t width = 1;
    while (width < 8)
    {
        const std::int64_t low = -(std::int64_t(1) << (8 * width - 1));
        const std::int64_t high = (std::int64_t(1) << (8 * width - 1)) - 1;
        if (value >= low && value <= high)
        {
            break;
        }
        ++width;
    }
    return width;
}

void appendBigEndian(Octets& out, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = width; i > 0; --i)
    {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * (i - 1))));
    }
}

/// The content octets of a primitive (the application BOOLEAN has none: its value is in the tag).
Octets contents(const BACnetValue& value)
{
    Octets out;
    const BACnetValue::Storage& s = value.storage();
    if (const bool* b = std::get_if<bool>(&s))
    {
        out.push_back(*b ? 1 : 0);
    }
    else if (const std::uint64_t* u = std::get_if<std::uint64_t>(&s))
    {
        appendBigEndian(out, *u, unsignedWidth(*u));
    }
    else if (const std::int64_t* i = std::get_if<std::int64_t>(&s))
    {
        appendBigEndian(out, static_cast<std::uint64_t>(*i), signedWidth(*i));
    }
    else if (const float* f = std::get_if<float>(&s))
    {
        std::uint32_t bits;
        std::memcpy(&bits, f, sizeof(bits));
        appendBigEndian(out, bits, 4);
    }
    else if (const double* d = std::get_if<double>(&s))
    {
        std::uint64_t bits;
        std::memcpy(&bits, d, sizeof(bits));
        appendBigEndian(out, bits, 8);
    }
    else if (const DataType::OctetString* o = std::get_if<DataType::OctetString>(&s))
    {
        out.assign(o->octets.begin(), o->octets.end());
    }
    else if (const std::string* text = std::get_if<std::string>(&s))
    {
        out.push_back(_UTF8);
        out.insert(out.end(), text->begin(), text->end());
    }
    else if (const DataType::BitString* bits = std::get_if<DataType::BitString>(&s))
    {
        const std::size_t count = bits->getBitCount();
        out.assign(1 + (count + 7) / 8, 0);
        out[0] = static_cast<std::uint8_t>((8 - count % 8) % 8);
        for (std::size_t i = 0; i < count; ++i)
        {
            if (bits->getBit(i))
            {
                out[1 + i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
            }
        }
    }
    else if (const DataType::Enumerated* e = std::get_if<DataType::Enumerated>(&s))
    {
        appendBigEndian(out, e->value, unsignedWidth(e->value));
    }
    else if (const DataType::Date* date = std::get_if<DataType::Date>(&s))
    {
        if (date->year < _DATE_YEAR_BASE || date->year > _DATE_YEAR_BASE + 255)
        {
            throw Poco::InvalidArgumentException("Date year out of range", std::to_string(date->year));
        }
        out = {static_cast<std::uint8_t>(date->year - _DATE_YEAR_BASE), date->month, date->day, date->wday};
    }
    else if (const DataType::Time* time = std::get_if<DataType::Time>(&s))
    {
        out = {time->hour, time->min, time->sec, time->hundredths};
    }
    else if (const DataType::ObjectIdentifier* id = std::get_if<DataType::ObjectIdentifier>(&s))
    {
        appendBigEndian(out, id->getEncoded(), 4);
    }
    else if (!value.isNull())
    {
        throw Poco::InvalidArgumentException("Not a primitive value",
                                             BACnetDataTypeInfo::name(value.getDataType()));
    }
    return out;
}

}  // namespace

Octets Encoder::take()
{
    Octets out;
    out.swap(_octets);
    return out;
}

void Encoder::writeHeader(std::uint8_t number, std::uint8_t classAndLvt)
{
    if (number == 255)
    {
        throw Poco::InvalidArgumentException("Tag number 255 is reserved");
    }
    _octets.push_back(static_cast<std::uint8_t>(((number < 15 ? number : 15) << 4) | classAndLvt));
    if (number >= 15)
    {
        _octets.push_back(number);
    }
}

void Encoder::writeTag(std::uint8_t number, bool context, std::uint32_t length)
{
    writeHeader(number, static_cast<std::uint8_t>((context ? 0x08 : 0x00) | (length < 5 ? length : 5)));
    if (length < 5)
    {
        return;
    }
    if (length < 254)
    {
        _octets.push_back(static_cast<std::uint8_t>(length));
    }
    else if (length <= 0xFFFF)
    {
        _octets.push_back(254);
        appendBigEndian(_octets, length, 2);
    }
    else
    {
        _octets.push_back(255);
        appendBigEndian(_octets, length, 4);
    }
}

void Encoder::writePrimitive(std::uint8_t number, bool context, const BACnetValue& primitive)
{
    const Octets body = contents(primitive);
    if (!context && primitive.getIf<bool>() != nullptr)
    {
        writeTag(number, false, body[0]);  // the application BOOLEAN carries its value in the tag
        return;
    }
    writeTag(number, context, static_cast<std::uint32_t>(body.size()));
    _octets.insert(_octets.end(), body.begin(), body.end());
}

void Encoder::writeApplicationValue(const BACnetValue& primitive)
{
    const BACNET_APPLICATION_TAG tag = primitive.getApplicationTag();
    if (tag >= MAX_BACNET_APPLICATION_TAG)
    {
        throw Poco::InvalidArgumentException("Not a primitive value",
                                             BACnetDataTypeInfo::name(primitive.getDataType()));
    }
    writePrimitive(static_cast<std::uint8_t>(tag), false, primitive);
}

void Encoder::writeApplicationUnsigned(std::uint64_t value)
{
    writeApplicationValue(BACnetValue::makeUnsigned(value));
}

void Encoder::writeApplicationEnumerated(std::uint32_t value)
{
    writeApplicationValue(BACnetValue::makeEnumerated(value));
}

void Encoder::writeApplicationObjectIdentifier(const DataType::ObjectIdentifier& value)
{
    writeApplicationValue(BACnetValue(value));
}

void Encoder::writeContextValue(std::uint8_t number, const BACnetValue& primitive)
{
    writePrimitive(number, true, primitive);
}

void Encoder::writeUnsigned(std::uint8_t number, std::uint64_t value)
{
    writeContextValue(number, BACnetValue::makeUnsigned(value));
}

void Encoder::writeSigned(std::uint8_t number, std::int64_t value)
{
    writeContextValue(number, BACnetValue::makeSigned(value));
}

void Encoder::writeEnumerated(std::uint8_t number, std::uint32_t value)
{
    writeContextValue(number, BACnetValue::makeEnumerated(value));
}

void Encoder::writeBoolean(std::uint8_t number, bool value)
{
    writeContextValue(number, BACnetValue::makeBoolean(value));
}

void Encoder::writeReal(std::uint8_t number, float value)
{
    writeContextValue(number, BACnetValue::makeReal(value));
}

void Encoder::writeObjectIdentifier(std::uint8_t number, const DataType::ObjectIdentifier& value)
{
    writeContextValue(number, BACnetValue(value));
}

void Encoder::writeBitString(std::uint8_t number, const DataType::BitString& value)
{
    writeContextValue(number, BACnetValue(value));
}

void Encoder::writeOpening(std::uint8_t number)
{
    writeHeader(number, 0x0E);
}

void Encoder::writeClosing(std::uint8_t number)
{
    writeHeader(number, 0x0F);
}

void Encoder::writeRaw(OctetView octets)
{
    _octets.insert(_octets.end(), octets.begin(), octets.end());
}

}  // namespace Orvik::BACnet::Codec
