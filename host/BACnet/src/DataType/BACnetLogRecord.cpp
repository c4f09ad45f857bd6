#include "Orvik_BACnet/DataType/BACnetLogRecord.h"
#include "MarkupMembers.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnet/ValueText.h"

#include <vector>

#include <Poco/Exception.h>

namespace Orvik::BACnet::DataType
{

namespace
{

constexpr std::size_t _STATUS_FLAG_COUNT = 4;

std::uint64_t packBits(const BitString& bits, std::size_t maxBits)
{
    if (bits.getBitCount() > maxBits)
    {
        throw Poco::RangeException("Log record bit string too long", std::to_string(bits.getBitCount()));
    }
    std::uint64_t packed = 0;
    for (std::size_t i = 0; i < bits.getBitCount(); ++i)
    {
        if (bits.getBit(i))
        {
            packed |= std::uint64_t(1) << i;
        }
    }
    return packed;
}

BitString unpackBits(std::uint64_t packed, std::size_t count)
{
    BitString bits(count);
    for (std::size_t i = 0; i < count; ++i)
    {
        bits.setBit(i, ((packed >> i) & 1u) != 0);
    }
    return bits;
}

}  // namespace

const std::string& BACnetLogRecord::choiceName(std::uint32_t choice)
{
    static const std::vector<std::string> names = [] {  // looked up once, not per record
        std::vector<std::string> table;
        for (std::uint32_t i = 0; i <= LOG_DATUM_ANY_VALUE; ++i)
        {
            table.push_back(ProtocolText::enumerationName("BACnetLogRecord.log-datum.choice", i));
        }
        return table;
    }();
    static const std::string none;
    return choice < names.size() ? names[choice] : none;
}

void BACnetLogRecord::choose(BACNET_LOG_DATUM_CHOICE choice)
{
    _choice = choice;
    _unsigned = 0;
    _signed = 0;
    _real = 0.0f;
    _bits = 0;
    _bitCount = 0;
    _any.clear();
}

void BACnetLogRecord::setLogStatus(const BitString& logStatus)
{
    const std::uint64_t packed = packBits(logStatus, _MAX_BITS);
    choose(LOG_DATUM_LOG_STATUS);
    _bits = packed;
    _bitCount = static_cast<std::uint8_t>(logStatus.getBitCount());
}

void BACnetLogRecord::setBoolean(bool value)
{
    choose(LOG_DATUM_BOOLEAN_VALUE);
    _unsigned = value ? 1 : 0;
}

void BACnetLogRecord::setReal(float value)
{
    choose(LOG_DATUM_REAL_VALUE);
    _real = value;
}

void BACnetLogRecord::setEnumerated(std::uint32_t value)
{
    choose(LOG_DATUM_ENUM_VALUE);
    _unsigned = value;
}

void BACnetLogRecord::setUnsigned(std::uint64_t value)
{
    choose(LOG_DATUM_UNSIGNED_VALUE);
    _unsigned = value;
}

void BACnetLogRecord::setSigned(std::int64_t value)
{
    choose(LOG_DATUM_SIGNED_VALUE);
    _signed = value;
}

void BACnetLogRecord::setBitString(const BitString& value)
{
    const std::uint64_t packed = packBits(value, _MAX_BITS);
    choose(LOG_DATUM_BITSTRING_VALUE);
    _bits = packed;
    _bitCount = static_cast<std::uint8_t>(value.getBitCount());
}

void BACnetLogRecord::setNull()
{
    choose(LOG_DATUM_NULL_VALUE);
}

void BACnetLogRecord::setFailure(BACNET_ERROR_CLASS errorClass, BACNET_ERROR_CODE errorCode)
{
    choose(LOG_DATUM_FAILURE);
    _unsigned = errorClass;
    _signed = errorCode;
}

void BACnetLogRecord::setTimeChange(float seconds)
{
    choose(LOG_DATUM_TIME_CHANGE);
    _real = seconds;
}

void BACnetLogRecord::setAnyValue(std::string encoded)
{
    choose(LOG_DATUM_ANY_VALUE);
    _any = std::move(encoded);
}

std::uint32_t BACnetLogRecord::getEnumerated() const
{
    return _choice == LOG_DATUM_ENUM_VALUE ? static_cast<std::uint32_t>(_unsigned) : 0;
}

std::uint64_t BACnetLogRecord::getUnsigned() const
{
    return _choice == LOG_DATUM_UNSIGNED_VALUE ? _unsigned : 0;
}

BitString BACnetLogRecord::getBitString() const
{
    return unpackBits(_bits, _bitCount);
}

BACNET_ERROR_CLASS BACnetLogRecord::getErrorClass() const
{
    return static_cast<BACNET_ERROR_CLASS>(_choice == LOG_DATUM_FAILURE ? _unsigned : 0);
}

BACNET_ERROR_CODE BACnetLogRecord::getErrorCode() const
{
    return static_cast<BACNET_ERROR_CODE>(_choice == LOG_DATUM_FAILURE ? _signed : 0);
}

BitString BACnetLogRecord::getStatusFlags() const
{
    return unpackBits(_statusFlags, _STATUS_FLAG_COUNT);
}

void BACnetLogRecord::setStatusFlags(const BitString& statusFlags)
{
    _statusFlags = static_cast<std::uint8_t>(packBits(statusFlags, 8) & 0x0F);
    _hasStatusFlags = true;
}

bool BACnetLogRecord::operator==(const BACnetLogRecord& other) const
{
    return _dateTime == other._dateTime && _choice == other._choice && _unsigned == other._unsigned &&
           _signed == other._signed && _real == other._real && _bits == other._bits &&
           _bitCount == other._bitCount && _hasStatusFlags == other._hasStatusFlags &&
           _statusFlags == other._statusFlags && _any == other._any;
}

void BACnetLogRecord::markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const
{
    static const std::string timestamp = "timestamp";
    static const std::string logDatum = "log-datum";
    static const std::string statusFlags = "status-flags";
    mf.markup(WS::MarkupFactory::BT_STRUCT, name, WS::MarkupFactory::Options().open().startArray(startArray));
    _dateTime.markup(mf, timestamp, false);
    mf.markup(WS::MarkupFactory::BT_CHOICE, logDatum, WS::MarkupFactory::Options().open());
    const std::string& choice = choiceName(_choice);
    switch (_choice)
    {
        case LOG_DATUM_LOG_STATUS:
        case LOG_DATUM_BITSTRING_VALUE:
            MarkupMembers::write(mf, WS::MarkupFactory::BT_BIT_STRING, choice, getBitString().toString());
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeBoolean(getBoolean()), false,
                                      BACNET_DT_NULL);
            break;
        case LOG_DATUM_REAL_VALUE:
        case LOG_DATUM_TIME_CHANGE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeReal(_real), false, BACNET_DT_NULL);
            break;
        case LOG_DATUM_ENUM_VALUE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeEnumerated(getEnumerated()), false,
                                      BACNET_DT_NULL);
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeUnsigned(_unsigned), false,
                                      BACNET_DT_NULL);
            break;
        case LOG_DATUM_SIGNED_VALUE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeSigned(_signed), false, BACNET_DT_NULL);
            break;
        case LOG_DATUM_FAILURE:
            MarkupMembers::write(mf, WS::MarkupFactory::BT_STRING, choice,
                                 ProtocolText::errorClassName(getErrorClass()) + "/" +
                                     ProtocolText::errorCodeName(getErrorCode()));
            break;
        case LOG_DATUM_ANY_VALUE:
            MarkupMembers::writeValue(mf, choice, BACnetValue::makeOctetString(_any), false, BACNET_DT_NULL);
            break;
        default:
            MarkupMembers::write(mf, WS::MarkupFactory::BT_NULL, choice, std::string());
            break;
    }
    mf.closeOpenMarkup();
    if (_hasStatusFlags)
    {
        char bits[4];
        for (unsigned bit = 0; bit < 4; ++bit)
        {
            bits[bit] = (_statusFlags >> bit) & 1u ? '1' : '0';
        }
        thread_local std::string text;
        text.assign(bits, sizeof(bits));
        MarkupMembers::write(mf, WS::MarkupFactory::BT_BIT_STRING, statusFlags, text);
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::DataType
