#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <Poco/Timestamp.h>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/BitString.h"

namespace Orvik::BACnet::DataType
{

/// BACnetLogRecord, one record of a trend log's log-buffer: a time stamp, the log datum (a CHOICE,
/// BACNET_LOG_DATUM_CHOICE) and optional status flags. log-status and bitstring-value hold at most 64
/// bits (_MAX_BITS). any-value, whose datatype the record does not tell, is held as the octets of its
/// encoded value (application-tagged, as received). A record uses the heap only for an any-value longer
/// than the string's small buffer, so a page of records costs one allocation for its vector.
class BACnetLogRecord : public BACnetComplex
{
public:
    static constexpr std::size_t _MAX_BITS = 64;

    /// null-value at a default date and time, without status flags.
    BACnetLogRecord() = default;

    const BACnetDateTime& getDateTime() const { return _dateTime; }
    void setDateTime(const BACnetDateTime& dateTime) { _dateTime = dateTime; }
    /// The record's time stamp as an instant (BACnetDateTime::toTimestamp).
    Poco::Timestamp getTimeStamp() const { return _dateTime.toTimestamp(); }

    BACNET_LOG_DATUM_CHOICE getChoice() const { return _choice; }
    /// The standard name of a log-datum choice ("real-value"); "" for a number that is none.
    static const std::string& choiceName(std::uint32_t choice);

    /// Throws Poco::RangeException for more than _MAX_BITS bits.
    void setLogStatus(const BitString& logStatus);
    void setBoolean(bool value);
    void setReal(float value);
    void setEnumerated(std::uint32_t value);
    void setUnsigned(std::uint64_t value);
    void setSigned(std::int64_t value);
    /// Throws Poco::RangeException for more than _MAX_BITS bits.
    void setBitString(const BitString& value);
    void setNull();
    void setFailure(BACNET_ERROR_CLASS errorClass, BACNET_ERROR_CODE errorCode);
    void setTimeChange(float seconds);
    /// `encoded`: the octets of the value as they appear on the wire between its enclosing tags.
    void setAnyValue(std::string encoded);

    /// The datum of the matching choice; other choices give the type's zero.
    bool getBoolean() const { return _choice == LOG_DATUM_BOOLEAN_VALUE && _unsigned != 0; }
    float getReal() const { return _real; }  ///< real-value and time-change
    std::uint32_t getEnumerated() const;
    std::uint64_t getUnsigned() const;
    std::int64_t getSigned() const { return _signed; }
    BitString getBitString() const;  ///< log-status and bitstring-value
    BACNET_ERROR_CLASS getErrorClass() const;
    BACNET_ERROR_CODE getErrorCode() const;
    /// The encoded any-value; empty for other choices.
    const std::string& getAnyValue() const { return _any; }

    bool hasStatusFlags() const { return _hasStatusFlags; }
    /// Four bits: in-alarm, fault, overridden, out-of-service; all clear when absent.
    BitString getStatusFlags() const;
    /// The four status flags packed: bit i at value 1 << i (in-alarm 1, fault 2, overridden 4,
    /// out-of-service 8); 0 when absent. Cheaper than getStatusFlags() for streaming.
    std::uint8_t getStatusFlagBits() const { return _statusFlags; }
    void setStatusFlags(const BitString& statusFlags);
    void clearStatusFlags()
    {
        _hasStatusFlags = false;
        _statusFlags = 0;
    }

    /// <Sequence name=...> with timestamp, log-datum (one element named by the choice) and status-flags.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetLogRecord& other) const;
    bool operator!=(const BACnetLogRecord& other) const { return !(*this == other); }

private:
    void choose(BACNET_LOG_DATUM_CHOICE choice);

    BACnetDateTime _dateTime;
    BACNET_LOG_DATUM_CHOICE _choice = LOG_DATUM_NULL_VALUE;
    float _real = 0.0f;           // real, time-change
    std::uint64_t _unsigned = 0;  // boolean, enumerated, unsigned, error class
    std::int64_t _signed = 0;     // signed, error code
    std::uint64_t _bits = 0;      // log-status, bitstring-value: bit i at value 1 << i
    std::string _any;             // any-value
    std::uint8_t _bitCount = 0;
    bool _hasStatusFlags = false;
    std::uint8_t _statusFlags = 0;  // bit i at value 1 << i
};

}  // namespace Orvik::BACnet::DataType
