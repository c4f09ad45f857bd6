#include "Orvik_BACnet/ValueText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include <Poco/DateTime.h>

#include "Orvik_BACnet/ProtocolText.h"
#include "TextParser.h"
#include "Utf8.h"

namespace Orvik::BACnet
{

using namespace DataType;
using Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

namespace
{

const char* const _WEEKDAYS[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

template <class T>
void appendNumber(std::string& out, T value)
{
    char text[32];
    const std::to_chars_result result = std::to_chars(text, text + sizeof(text), value);
    out.append(text, result.ptr);
}

template <class T>
void appendFloating(std::string& out, T value)
{
    if (std::isnan(value))
    {
        out += "nan";
    }
    else if (std::isinf(value))
    {
        out += value < 0 ? "-inf" : "inf";
    }
    else
    {
        appendNumber(out, value);  // shortest text that reads back exactly
    }
}

void appendHexOctet(std::string& out, unsigned char octet)
{
    static const char* const digits = "0123456789abcdef";
    out += digits[octet >> 4];
    out += digits[octet & 0x0F];
}

void appendBits(std::string& out, const Orvik::Utility::BitBuffer& bits)
{
    out += "0b";
    out += bits.toString();
}

void appendQuoted(std::string& out, const std::string& text)
{
    out += '"';
    for (std::size_t pos = 0; pos < text.size();)
    {
        const unsigned char c = static_cast<unsigned char>(text[pos]);
        const std::size_t length = Utf8::sequenceLength(text, pos);
        if (c == '"' || c == '\\')
        {
            out += '\\';
            out += static_cast<char>(c);
        }
        else if (c == '\n')
        {
            out += "\\n";
        }
        else if (c == '\r')
        {
            out += "\\r";
        }
        else if (c == '\t')
        {
            out += "\\t";
        }
        else if (length == 0 || c < 0x20 || c == 0x7F)
        {
            out += "\\x";
            appendHexOctet(out, c);
        }
        else
        {
            out.append(text, pos, length);
            pos += length;
            continue;
        }
        ++pos;
    }
    out += '"';
}

void appendField(std::string& out, unsigned value, unsigned unspecified, std::size_t width)
{
    if (value == unspecified)
    {
        out += '*';
        return;
    }
    char text[16];
    const std::to_chars_result result = std::to_chars(text, text + sizeof(text), value);
    const std::size_t digits = static_cast<std::size_t>(result.ptr - text);
    if (digits < width)
    {
        out.append(width - digits, '0');
    }
    out.append(text, digits);
}

void appendDate(std::string& out, const Date& date)
{
    appendField(out, date.year, Date::_YEAR_UNSPECIFIED, 4);
    out += '-';
    appendField(out, date.month, Date::_UNSPECIFIED, 2);
    out += '-';
    appendField(out, date.day, Date::_UNSPECIFIED, 2);
    if (date.wday == Date::weekdayOf(date.year, date.month, date.day))
    {
        return;  // the reader computes it
    }
    out += ' ';
    if (date.wday >= 1 && date.wday <= 7)
    {
        out += _WEEKDAYS[date.wday - 1];
    }
    else
    {
        appendField(out, date.wday, Date::_UNSPECIFIED, 1);
    }
}

void appendTime(std::string& out, const Time& time)
{
    appendField(out, time.hour, Time::_UNSPECIFIED, 2);
    out += ':';
    appendField(out, time.min, Time::_UNSPECIFIED, 2);
    out += ':';
    appendField(out, time.sec, Time::_UNSPECIFIED, 2);
    out += '.';
    appendField(out, time.hundredths, Time::_UNSPECIFIED, 2);
}

void appendDateTime(std::string& out, const BACnetDateTime& dateTime)
{
    appendDate(out, dateTime.date);
    out += ' ';
    appendTime(out, dateTime.time);
}

void appendObjectIdentifier(std::string& out, const ObjectIdentifier& identifier)
{
    out += identifier.toString();
}

void appendPropertyPart(std::string& out, const BACnetObjectPropertyReference& reference)
{
    appendObjectIdentifier(out, reference.getObjectIdentifier());
    out += '.';
    out += ProtocolText::propertyName(reference.getPropertyIdentifier());
    if (reference.hasArrayIndex())
    {
        out += '[';
        appendNumber(out, reference.getArrayIndex());
        out += ']';
    }
}

void appendDeviceObjectReference(std::string& out, const BACnetDeviceObjectReference& reference)
{
    if (reference.hasDevice())
    {
        appendObjectIdentifier(out, reference.getDeviceIdentifier());
        out += '/';
    }
    appendObjectIdentifier(out, reference.getObjectIdentifier());
}

void appendLogDatum(std::string& out, const BACnetLogRecord& record)
{
    switch (record.getChoice())
    {
        case LOG_DATUM_LOG_STATUS:
        case LOG_DATUM_BITSTRING_VALUE:
            appendBits(out, record.getBitString());
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            out += record.getBoolean() ? "true" : "false";
            break;
        case LOG_DATUM_REAL_VALUE:
        case LOG_DATUM_TIME_CHANGE:
            appendFloating(out, record.getReal());
            break;
        case LOG_DATUM_ENUM_VALUE:
            appendNumber(out, record.getEnumerated());
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            appendNumber(out, record.getUnsigned());
            break;
        case LOG_DATUM_SIGNED_VALUE:
            appendNumber(out, record.getSigned());
            break;
        case LOG_DATUM_FAILURE:
            out += ProtocolText::errorClassName(record.getErrorClass());
            out += '/';
            out += ProtocolText::errorCodeName(record.getErrorCode());
            break;
        case LOG_DATUM_ANY_VALUE:
            ValueText::appendElement(out, BACnetValue::makeOctetString(record.getAnyValue()), false);
            break;
        default:
            break;
    }
}

void appendLogRecord(std::string& out, const BACnetLogRecord& record)
{
    out += '{';
    appendDateTime(out, record.getDateTime());
    out += ", ";
    out += BACnetLogRecord::choiceName(record.getChoice());
    if (record.getChoice() != LOG_DATUM_NULL_VALUE)
    {
        out += ": ";
        appendLogDatum(out, record);
    }
    if (record.hasStatusFlags())
    {
        out += ", 0b";
        for (unsigned bit = 0; bit < 4; ++bit)
        {
            out += (record.getStatusFlagBits() >> bit) & 1u ? '1' : '0';
        }
    }
    out += '}';
}

/// Writes one element of each alternative.
class ElementWriter
{
public:
    ElementWriter(std::string& out, bool quoteStrings) : _out(out), _quoteStrings(quoteStrings) {}

    void operator()(std::monostate) const { _out += "null"; }
    void operator()(bool value) const { _out += value ? "true" : "false"; }
    void operator()(std::uint64_t value) const { appendNumber(_out, value); }
    void operator()(std::int64_t value) const { appendNumber(_out, value); }
    void operator()(float value) const { appendFloating(_out, value); }
    void operator()(double value) const { appendFloating(_out, value); }
    void operator()(const OctetString& value) const
    {
        _out += "0x";
        for (char octet : value.octets)
        {
            appendHexOctet(_out, static_cast<unsigned char>(octet));
        }
    }
    void operator()(const std::string& value) const
    {
        if (_quoteStrings)
        {
            appendQuoted(_out, value);
        }
        else
        {
            _out += value;
        }
    }
    void operator()(const BitString& value) const { appendBits(_out, value); }
    void operator()(const Enumerated& value) const { appendNumber(_out, value.value); }
    void operator()(const Date& value) const { appendDate(_out, value); }
    void operator()(const Time& value) const { appendTime(_out, value); }
    void operator()(const ObjectIdentifier& value) const { appendObjectIdentifier(_out, value); }
    void operator()(const BACnetDateTime& value) const { appendDateTime(_out, value); }
    void operator()(const BACnetTimeStamp& value) const
    {
        switch (value.getChoice())
        {
            case TIME_STAMP_TIME:
                appendTime(_out, value.getTime());
                break;
            case TIME_STAMP_DATETIME:
                appendDateTime(_out, value.getDateTime());
                break;
            default:
                appendNumber(_out, value.getSequenceNumber());
                break;
        }
    }
    void operator()(const BACnetObjectPropertyReference& value) const { appendPropertyPart(_out, value); }
    void operator()(const BACnetDeviceObjectReference& value) const
    {
        appendDeviceObjectReference(_out, value);
    }
    void operator()(const BACnetDeviceObjectPropertyReference& value) const
    {
        if (value.hasDevice())
        {
            appendObjectIdentifier(_out, value.getDeviceIdentifier());
            _out += '/';
        }
        appendPropertyPart(_out, value);
    }
    void operator()(const BACnetAddress& value) const
    {
        std::string text;
        _out += value.getString(text, false);
    }
    void operator()(const BACnetLogRecord& value) const { appendLogRecord(_out, value); }
    void operator()(const BACnetTrendLogLastUploaded& value) const
    {
        _out += '{';
        appendDeviceObjectReference(_out, value);
        _out += ", ";
        ValueText::appendIsoTimestamp(_out, value.getTimeStamp());
        if (value.getSequenceNumber() != 0)
        {
            _out += ", ";
            _out += std::to_string(value.getSequenceNumber());
        }
        _out += '}';
    }

private:
    std::string& _out;
    bool _quoteStrings;
};

bool isRawSafe(const std::string& text)
{
    if (text.empty() || text[0] == '"' || text[0] == '[' || text == "null" || !Utf8::isValid(text))
    {
        return false;
    }
    for (char c : text)
    {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        {
            return false;
        }
    }
    return true;
}

}  // namespace

void ValueText::appendElement(std::string& out, const BACnetValue& value, bool quoteStrings)
{
    std::visit(ElementWriter(out, quoteStrings), value.storage());
}

void ValueText::appendSingleString(std::string& out, const std::string& text)
{
    if (isRawSafe(text))
    {
        out += text;
    }
    else
    {
        appendQuoted(out, text);
    }
}

void ValueText::appendIsoTimestamp(std::string& out, const Poco::Timestamp& timestamp)
{
    constexpr std::int64_t microsPerDay = 86400LL * 1000000;
    std::int64_t days = timestamp.epochMicroseconds() / microsPerDay;
    std::int64_t micros = timestamp.epochMicroseconds() % microsPerDay;
    if (micros < 0)  // floor division: the time of day is never negative
    {
        micros += microsPerDay;
        --days;
    }
    const Poco::DateTime midnight(Poco::Timestamp(days * microsPerDay));
    const std::int64_t seconds = micros / 1000000;
    char text[40];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", midnight.year(),
                  midnight.month(), midnight.day(), static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60),
                  static_cast<int>(micros % 1000000));
    out += text;
}

bool ValueText::parse(std::string_view text, BACnetDataType dataType, BACNET_APPLICATION_TAG appTag,
                      bool acceptList, std::vector<BACnetValue>& values, bool& isList)
{
    values.clear();
    isList = false;
    if (!Utf8::isValid(text))
    {
        return false;
    }
    if (text.empty())
    {
        return true;
    }
    const std::uint32_t effective = dataType == BACNET_DT_ANY ? static_cast<std::uint32_t>(appTag) : dataType;
    if (effective == BACNET_DT_ANY || !BACnetDataTypeInfo::isHoldable(effective))
    {
        return false;
    }
    if (effective == BACNET_DT_CHARACTER_STRING && text[0] != '"' && text[0] != '[' && text != "null")
    {
        values.emplace_back(std::string(text));  // raw single string, taken as written
        return true;
    }
    TextParser parser(text);
    if (!parser.parseStored(static_cast<BACnetDataType>(effective), acceptList, values, isList))
    {
        values.clear();
        isList = false;
        return false;
    }
    return true;
}

}  // namespace Orvik::BACnet
