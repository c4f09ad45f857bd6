#include "TextParser.h"

#include <charconv>
#include <limits>
#include <string>

#include <Poco/DateTime.h>

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_Utility/ConvertIt.h"

namespace Orvik::BACnet
{

using namespace DataType;
using Proprietary::VendorOrvik::BACnetTrendLogLastUploaded;

namespace
{

constexpr std::string_view _DIGITS = "0123456789";
constexpr std::string_view _NAME_CHARS = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-";
constexpr std::string_view _FLOAT_CHARS = "0123456789+-.eEinfaINFA";
constexpr std::string_view _FIELD_CHARS = "0123456789*";
constexpr std::string_view _MAC_CHARS = "0123456789abcdefABCDEF.:-";
const char* const _WEEKDAYS[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};
constexpr std::uint64_t _MAX_UINT32 = 0xFFFFFFFFu;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool allDigits(std::string_view text)
{
    return !text.empty() && text.find_first_not_of(_DIGITS) == std::string_view::npos;
}

bool decimal(std::string_view text, std::uint64_t max, std::uint64_t& value)
{
    if (!allDigits(text))
    {
        return false;
    }
    value = 0;
    for (char c : text)
    {
        const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
        if (value > (max - digit) / 10)
        {
            return false;
        }
        value = value * 10 + digit;
    }
    return true;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
    {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
        if (x != b[i])
        {
            return false;
        }
    }
    return true;
}

/// A standard name or a number of at most `max`.
bool nameOrNumber(std::string_view token, std::uint64_t max,
                  bool (*lookup)(const std::string&, std::uint32_t&), std::uint32_t& value)
{
    std::uint64_t number = 0;
    if (allDigits(token))
    {
        if (!decimal(token, max, number))
        {
            return false;
        }
        value = static_cast<std::uint32_t>(number);
        return true;
    }
    return !token.empty() && lookup(std::string(token), value);
}

}  // namespace

// ---- cursor ------------------------------------------------------------------------------------

void TextParser::skipBlanks()
{
    while (!atEnd() && (_text[_pos] == ' ' || _text[_pos] == '\t'))
    {
        ++_pos;
    }
}

bool TextParser::accept(char c)
{
    if (!atEnd() && _text[_pos] == c)
    {
        ++_pos;
        return true;
    }
    return false;
}

bool TextParser::expect(char c)
{
    skipBlanks();
    return accept(c);
}

bool TextParser::acceptWord(std::string_view word)
{
    if (_text.substr(_pos, word.size()) != word)
    {
        return false;
    }
    const std::size_t after = _pos + word.size();
    if (after < _text.size() && _NAME_CHARS.find(_text[after]) != std::string_view::npos)
    {
        return false;
    }
    _pos = after;
    return true;
}

std::string_view TextParser::token(std::string_view allowed)
{
    const std::size_t start = _pos;
    while (!atEnd() && allowed.find(_text[_pos]) != std::string_view::npos)
    {
        ++_pos;
    }
    return _text.substr(start, _pos - start);
}

bool TextParser::fixedDigits(std::size_t count, unsigned& value)
{
    value = 0;
    for (std::size_t i = 0; i < count; ++i, ++_pos)
    {
        if (atEnd() || !isDigit(_text[_pos]))
        {
            return false;
        }
        value = value * 10 + static_cast<unsigned>(_text[_pos] - '0');
    }
    return true;
}

// ---- structure ---------------------------------------------------------------------------------

bool TextParser::parseStored(BACnetDataType dataType, bool acceptList, std::vector<BACnetValue>& values,
                             bool& isList)
{
    skipBlanks();
    if (accept('['))
    {
        if (!acceptList)
        {
            return false;
        }
        isList = true;
        skipBlanks();
        if (!accept(']'))
        {
            do
            {
                skipBlanks();
                values.emplace_back();
                if (!element(dataType, values.back()))
                {
                    return false;
                }
                skipBlanks();
            } while (accept(','));
            if (!accept(']'))
            {
                return false;
            }
        }
    }
    else
    {
        values.emplace_back();
        if (!element(dataType, values.back()))
        {
            return false;
        }
    }
    skipBlanks();
    return atEnd();
}

bool TextParser::element(BACnetDataType dataType, BACnetValue& out)
{
    if (BACnetDataTypeInfo::isPrimitive(dataType))
    {
        if (acceptWord("null"))
        {
            out = BACnetValue();
            return true;
        }
        return primitive(dataType, out);
    }
    return constructed(dataType, out);
}

bool TextParser::primitive(BACnetDataType dataType, BACnetValue& out)
{
    switch (dataType)
    {
        case BACNET_DT_BOOLEAN:
        {
            bool value = false;
            return boolean(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_UNSIGNED:
        {
            std::uint64_t value = 0;
            return unsignedNumber(std::numeric_limits<std::uint64_t>::max(), value) &&
                   (out = BACnetValue(value), true);
        }
        case BACNET_DT_SIGNED:
        {
            std::int64_t value = 0;
            return signedNumber(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_REAL:
        {
            float value = 0.0f;
            return floating(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_DOUBLE:
        {
            double value = 0.0;
            return floating(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_OCTET_STRING:
        {
            std::string octets;
            return octetString(octets) && (out = BACnetValue::makeOctetString(std::move(octets)), true);
        }
        case BACNET_DT_CHARACTER_STRING:
        {
            std::string text;
            return quotedString(text) && (out = BACnetValue(std::move(text)), true);
        }
        case BACNET_DT_BIT_STRING:
        {
            BitString bits;
            return bitString(bits) && (out = BACnetValue(bits), true);
        }
        case BACNET_DT_ENUMERATED:
        {
            std::uint64_t value = 0;
            return unsignedNumber(_MAX_UINT32, value) &&
                   (out = BACnetValue::makeEnumerated(static_cast<std::uint32_t>(value)), true);
        }
        case BACNET_DT_DATE:
        {
            Date value;
            return date(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_TIME:
        {
            Time value;
            return time(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_OBJECT_IDENTIFIER:
        {
            ObjectIdentifier value;
            return objectIdentifier(value) && (out = BACnetValue(value), true);
        }
        default:
            return false;  // BACNET_DT_NULL: only "null", taken by element()
    }
}

bool TextParser::constructed(BACnetDataType dataType, BACnetValue& out)
{
    switch (dataType)
    {
        case BACNET_DT_DATE_TIME:
        {
            BACnetDateTime value;
            return dateTime(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_TIME_STAMP:
        {
            BACnetTimeStamp value;
            return timeStamp(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_OBJECT_PROPERTY_REFERENCE:
        {
            ObjectIdentifier object;
            BACNET_PROPERTY_ID propertyId = PROP_PRESENT_VALUE;
            std::uint32_t arrayIndex = BACNET_ARRAY_ALL;
            return objectIdentifier(object) && accept('.') && property(propertyId, arrayIndex) &&
                   (out = BACnetValue(BACnetObjectPropertyReference(object, propertyId, arrayIndex)), true);
        }
        case BACNET_DT_DEVICE_OBJECT_REFERENCE:
        {
            BACnetDeviceObjectReference value;
            return deviceObjectReference(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE:
        {
            BACnetDeviceObjectPropertyReference value;
            return deviceObjectPropertyReference(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_ADDRESS:
        {
            BACnetAddress value;
            return address(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_LOG_RECORD:
        {
            BACnetLogRecord value;
            return logRecord(value) && (out = BACnetValue(value), true);
        }
        case BACNET_DT_TREND_LOG_LAST_UPLOADED:
        {
            BACnetTrendLogLastUploaded value;
            return trendLogLastUploaded(value) && (out = BACnetValue(value), true);
        }
        default:
            return false;
    }
}

// ---- primitives --------------------------------------------------------------------------------

bool TextParser::boolean(bool& value)
{
    const std::string_view word = token(_NAME_CHARS);
    if (equalsIgnoreCase(word, "true") || word == "1")
    {
        value = true;
        return true;
    }
    if (equalsIgnoreCase(word, "false") || word == "0")
    {
        value = false;
        return true;
    }
    return false;
}

bool TextParser::unsignedNumber(std::uint64_t max, std::uint64_t& value)
{
    return decimal(token(_DIGITS), max, value);
}

bool TextParser::signedNumber(std::int64_t& value)
{
    const bool negative = accept('-');
    if (!negative)
    {
        accept('+');
    }
    const std::uint64_t limit =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    std::uint64_t magnitude = 0;
    if (!decimal(token(_DIGITS), limit, magnitude))
    {
        return false;
    }
    value = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
    return true;
}

template <class T>
bool TextParser::floating(T& value)
{
    std::string_view text = token(_FLOAT_CHARS);
    if (!text.empty() && text[0] == '+')
    {
        text.remove_prefix(1);
    }
    if (text.empty() || text[0] == '+')
    {
        return false;
    }
    const std::from_chars_result result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

bool TextParser::octetString(std::string& octets)
{
    if (!accept('0') || !accept('x'))
    {
        return false;
    }
    const std::string_view hex = token("0123456789abcdefABCDEF");
    if (hex.size() % 2 != 0)
    {
        return false;
    }
    octets.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2)
    {
        octets += static_cast<char>(Orvik::Utility::ConvertIt::hexDigitValue(hex[i]) * 16 +
                                    Orvik::Utility::ConvertIt::hexDigitValue(hex[i + 1]));
    }
    return true;
}

bool TextParser::quotedString(std::string& text)
{
    if (!accept('"'))
    {
        return false;
    }
    text.clear();
    while (!atEnd())
    {
        const char c = _text[_pos++];
        if (c == '"')
        {
            return true;
        }
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
        {
            return false;
        }
        if (c != '\\')
        {
            text += c;
            continue;
        }
        if (atEnd())
        {
            return false;
        }
        switch (_text[_pos++])
        {
            case '"':
                text += '"';
                break;
            case '\\':
                text += '\\';
                break;
            case 'n':
                text += '\n';
                break;
            case 'r':
                text += '\r';
                break;
            case 't':
                text += '\t';
                break;
            case 'x':
            {
                const int high = Orvik::Utility::ConvertIt::hexDigitValue(peek());
                const int low =
                    _pos + 1 < _text.size() ? Orvik::Utility::ConvertIt::hexDigitValue(_text[_pos + 1]) : -1;
                if (high < 0 || low < 0)
                {
                    return false;
                }
                _pos += 2;
                text += static_cast<char>(high * 16 + low);
                break;
            }
            default:
                return false;
        }
    }
    return false;  // no closing quote
}

bool TextParser::bitString(BitString& bits)
{
    if (_text.substr(_pos, 2) == "0b")
    {
        _pos += 2;
    }
    return bits.fromString(std::string(token("01")));
}

bool TextParser::dateField(std::uint8_t& value)
{
    if (accept('*'))
    {
        value = Date::_UNSPECIFIED;
        return true;
    }
    std::uint64_t number = 0;
    if (!unsignedNumber(Date::_UNSPECIFIED, number))
    {
        return false;
    }
    value = static_cast<std::uint8_t>(number);
    return true;
}

bool TextParser::date(Date& value)
{
    std::uint64_t year = Date::_YEAR_UNSPECIFIED;
    if (!accept('*') && !unsignedNumber(std::numeric_limits<std::uint16_t>::max(), year))
    {
        return false;
    }
    value.year = static_cast<std::uint16_t>(year);
    if (!accept('-') || !dateField(value.month) || !accept('-') || !dateField(value.day))
    {
        return false;
    }
    value.wday = Date::weekdayOf(value.year, value.month, value.day);
    std::uint8_t given = 0;
    if (weekday(given))
    {
        value.wday = given;
    }
    return true;
}

bool TextParser::weekday(std::uint8_t& value)
{
    const std::size_t start = _pos;
    skipBlanks();
    const bool separated = _pos > start;
    const std::string_view word = token("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789*");
    if (separated && !word.empty() && peek() != ':')  // "hh:" starts a time, not a weekday
    {
        for (std::uint8_t day = 1; day <= 7; ++day)
        {
            if (equalsIgnoreCase(word, _WEEKDAYS[day - 1]))
            {
                value = day;
                return true;
            }
        }
        std::uint64_t number = 0;
        if (word == "*" || decimal(word, Date::_UNSPECIFIED, number))
        {
            value = word == "*" ? Date::_UNSPECIFIED : static_cast<std::uint8_t>(number);
            return true;
        }
    }
    _pos = start;
    return false;
}

bool TextParser::time(Time& value)
{
    if (!dateField(value.hour) || !accept(':') || !dateField(value.min) || !accept(':') ||
        !dateField(value.sec))
    {
        return false;
    }
    value.hundredths = 0;
    return !accept('.') || dateField(value.hundredths);
}

bool TextParser::objectIdentifier(ObjectIdentifier& value)
{
    std::uint32_t type = 0;
    std::uint64_t instance = 0;
    if (!nameOrNumber(token(_NAME_CHARS), ObjectIdentifier::_MAX_TYPE, &ProtocolText::objectTypeIndex,
                      type) ||
        !accept(':') || !unsignedNumber(ObjectIdentifier::_MAX_INSTANCE, instance) ||
        type > ObjectIdentifier::_MAX_TYPE)
    {
        return false;
    }
    value = ObjectIdentifier(type, static_cast<std::uint32_t>(instance));
    return true;
}

// ---- constructed -------------------------------------------------------------------------------

bool TextParser::dateTime(BACnetDateTime& value)
{
    if (!date(value.date))
    {
        return false;
    }
    const std::size_t beforeBlanks = _pos;
    skipBlanks();
    return _pos > beforeBlanks && time(value.time);
}

bool TextParser::timeStamp(BACnetTimeStamp& value)
{
    const std::size_t start = _pos;
    token(_FIELD_CHARS);
    const char next = peek();
    _pos = start;
    if (next == ':')
    {
        Time time;
        return this->time(time) && (value = BACnetTimeStamp(time), true);
    }
    if (next == '-')
    {
        BACnetDateTime dateTime;
        return this->dateTime(dateTime) && (value = BACnetTimeStamp(dateTime), true);
    }
    std::uint64_t sequence = 0;
    return unsignedNumber(_MAX_UINT32, sequence) &&
           (value = BACnetTimeStamp(static_cast<std::uint32_t>(sequence)), true);
}

bool TextParser::property(BACNET_PROPERTY_ID& value, std::uint32_t& arrayIndex)
{
    std::uint32_t propertyId = 0;
    if (!nameOrNumber(token(_NAME_CHARS), _MAX_UINT32, &ProtocolText::propertyIndex, propertyId))
    {
        return false;
    }
    value = static_cast<BACNET_PROPERTY_ID>(propertyId);
    arrayIndex = BACNET_ARRAY_ALL;
    if (!accept('['))
    {
        return true;
    }
    std::uint64_t index = 0;
    if (!unsignedNumber(BACNET_ARRAY_ALL - 1, index) || !accept(']'))
    {
        return false;
    }
    arrayIndex = static_cast<std::uint32_t>(index);
    return true;
}

bool TextParser::deviceObjectReference(BACnetDeviceObjectReference& value)
{
    ObjectIdentifier first;
    if (!objectIdentifier(first))
    {
        return false;
    }
    if (!accept('/'))
    {
        value = BACnetDeviceObjectReference(BACnetDeviceObjectPropertyReference::noDevice(), first);
        return true;
    }
    ObjectIdentifier object;
    return objectIdentifier(object) && (value = BACnetDeviceObjectReference(first, object), true);
}

bool TextParser::deviceObjectPropertyReference(BACnetDeviceObjectPropertyReference& value)
{
    BACnetDeviceObjectReference objects;
    BACNET_PROPERTY_ID propertyId = PROP_PRESENT_VALUE;
    std::uint32_t arrayIndex = BACNET_ARRAY_ALL;
    if (!deviceObjectReference(objects) || !accept('.') || !property(propertyId, arrayIndex))
    {
        return false;
    }
    value = BACnetDeviceObjectPropertyReference(objects.getObjectIdentifier(), propertyId, arrayIndex,
                                                objects.getDeviceIdentifier());
    return true;
}

bool TextParser::address(BACnetAddress& value)
{
    std::uint64_t network = 0;
    if (!unsignedNumber(std::numeric_limits<std::uint16_t>::max(), network) || !accept('/'))
    {
        return false;
    }
    value.setNetworkNumber(static_cast<std::uint16_t>(network));
    return value.setMAC(std::string(token(_MAC_CHARS)));
}

bool TextParser::logRecord(BACnetLogRecord& value)
{
    BACnetDateTime when;
    if (!accept('{'))
    {
        return false;
    }
    skipBlanks();
    if (!dateTime(when) || !expect(','))
    {
        return false;
    }
    skipBlanks();
    const std::string_view choiceName = token(_NAME_CHARS);
    std::uint32_t choice = 0;
    while (choice <= LOG_DATUM_ANY_VALUE && BACnetLogRecord::choiceName(choice) != choiceName)
    {
        ++choice;
    }
    if (choice > LOG_DATUM_ANY_VALUE)
    {
        return false;
    }
    value.setDateTime(when);
    if (choice == LOG_DATUM_NULL_VALUE)
    {
        value.setNull();
    }
    else if (!expect(':') || (skipBlanks(), !logDatum(static_cast<BACNET_LOG_DATUM_CHOICE>(choice), value)))
    {
        return false;
    }
    if (expect(','))
    {
        skipBlanks();
        BitString flags;
        if (!bitString(flags) || flags.getBitCount() > 4)
        {
            return false;
        }
        value.setStatusFlags(flags);
    }
    return expect('}');
}

bool TextParser::logDatum(BACNET_LOG_DATUM_CHOICE choice, BACnetLogRecord& value)
{
    switch (choice)
    {
        case LOG_DATUM_LOG_STATUS:
        case LOG_DATUM_BITSTRING_VALUE:
        {
            BitString bits;
            if (!bitString(bits) || bits.getBitCount() > BACnetLogRecord::_MAX_BITS)
            {
                return false;
            }
            choice == LOG_DATUM_LOG_STATUS ? value.setLogStatus(bits) : value.setBitString(bits);
            return true;
        }
        case LOG_DATUM_BOOLEAN_VALUE:
        {
            bool flag = false;
            return boolean(flag) && (value.setBoolean(flag), true);
        }
        case LOG_DATUM_REAL_VALUE:
        case LOG_DATUM_TIME_CHANGE:
        {
            float real = 0.0f;
            if (!floating(real))
            {
                return false;
            }
            choice == LOG_DATUM_REAL_VALUE ? value.setReal(real) : value.setTimeChange(real);
            return true;
        }
        case LOG_DATUM_ENUM_VALUE:
        {
            std::uint64_t number = 0;
            return unsignedNumber(_MAX_UINT32, number) &&
                   (value.setEnumerated(static_cast<std::uint32_t>(number)), true);
        }
        case LOG_DATUM_UNSIGNED_VALUE:
        {
            std::uint64_t number = 0;
            return unsignedNumber(std::numeric_limits<std::uint64_t>::max(), number) &&
                   (value.setUnsigned(number), true);
        }
        case LOG_DATUM_SIGNED_VALUE:
        {
            std::int64_t number = 0;
            return signedNumber(number) && (value.setSigned(number), true);
        }
        case LOG_DATUM_FAILURE:
        {
            std::uint32_t errorClass = 0;
            std::uint32_t errorCode = 0;
            if (!nameOrNumber(token(_NAME_CHARS), 0xFFFF, &ProtocolText::errorClassIndex, errorClass) ||
                !accept('/') ||
                !nameOrNumber(token(_NAME_CHARS), 0xFFFF, &ProtocolText::errorCodeIndex, errorCode))
            {
                return false;
            }
            value.setFailure(static_cast<BACNET_ERROR_CLASS>(errorClass),
                             static_cast<BACNET_ERROR_CODE>(errorCode));
            return true;
        }
        case LOG_DATUM_ANY_VALUE:
        {
            std::string octets;
            return octetString(octets) && (value.setAnyValue(std::move(octets)), true);
        }
        default:
            return false;
    }
}

bool TextParser::trendLogLastUploaded(BACnetTrendLogLastUploaded& value)
{
    BACnetDeviceObjectReference reference;
    Poco::Timestamp timeStamp(0);
    std::uint64_t sequenceNumber = 0;
    if (!accept('{'))
    {
        return false;
    }
    skipBlanks();
    if (!deviceObjectReference(reference))
    {
        return false;
    }
    if (expect(','))
    {
        skipBlanks();
        if (!isoTimestamp(timeStamp))
        {
            return false;
        }
        if (expect(','))
        {
            skipBlanks();
            if (!unsignedNumber(_MAX_UINT32, sequenceNumber))
            {
                return false;
            }
        }
    }
    value = BACnetTrendLogLastUploaded(reference, timeStamp, static_cast<Poco::UInt32>(sequenceNumber));
    return expect('}');
}

bool TextParser::isoTimestamp(Poco::Timestamp& value)
{
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!fixedDigits(4, year) || !accept('-') || !fixedDigits(2, month) || !accept('-') ||
        !fixedDigits(2, day) || !accept('T') || !fixedDigits(2, hour) || !accept(':') ||
        !fixedDigits(2, minute) || !accept(':') || !fixedDigits(2, second))
    {
        return false;
    }
    unsigned micros = 0;
    if (accept('.'))
    {
        const std::string_view fraction = token(_DIGITS);
        if (fraction.empty() || fraction.size() > 6)
        {
            return false;
        }
        for (std::size_t i = 0; i < 6; ++i)
        {
            micros = micros * 10 + (i < fraction.size() ? static_cast<unsigned>(fraction[i] - '0') : 0);
        }
    }
    if (!accept('Z') || year == 0 || !Poco::DateTime::isValid(year, month, day, hour, minute, second))
    {
        return false;
    }
    value = Poco::DateTime(year, month, day, hour, minute, second, micros / 1000, micros % 1000).timestamp();
    return true;
}

}  // namespace Orvik::BACnet
