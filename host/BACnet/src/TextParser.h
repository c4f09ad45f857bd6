#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "Orvik_BACnet/BACnetValue.h"

namespace Orvik::BACnet
{

/// Reader of the stored text form (grammar in ValueText.h). A cursor over the text: every read checks
/// the end first, numbers are range-checked before they are stored, and nothing recurses, so malformed
/// or hostile text can only make a read fail.
class TextParser
{
public:
    explicit TextParser(std::string_view text) : _text(text) {}

    /// A whole stored text: one element or a bracketed list (when `acceptList`), nothing after it.
    bool parseStored(BACnetDataType dataType, bool acceptList, std::vector<BACnetValue>& values,
                     bool& isList);

private:
    bool element(BACnetDataType dataType, BACnetValue& out);
    bool primitive(BACnetDataType dataType, BACnetValue& out);
    bool constructed(BACnetDataType dataType, BACnetValue& out);

    bool boolean(bool& value);
    bool unsignedNumber(std::uint64_t max, std::uint64_t& value);
    bool signedNumber(std::int64_t& value);
    template <class T>
    bool floating(T& value);
    bool octetString(std::string& octets);
    bool quotedString(std::string& text);
    bool bitString(DataType::BitString& bits);
    bool dateField(std::uint8_t& value);
    bool date(DataType::Date& value);
    bool weekday(std::uint8_t& value);
    bool time(DataType::Time& value);
    bool dateTime(DataType::BACnetDateTime& value);
    bool timeStamp(DataType::BACnetTimeStamp& value);
    bool objectIdentifier(DataType::ObjectIdentifier& value);
    bool property(BACNET_PROPERTY_ID& value, std::uint32_t& arrayIndex);
    bool deviceObjectReference(DataType::BACnetDeviceObjectReference& value);
    bool deviceObjectPropertyReference(DataType::BACnetDeviceObjectPropertyReference& value);
    bool address(DataType::BACnetAddress& value);
    bool logRecord(DataType::BACnetLogRecord& value);
    bool logDatum(BACNET_LOG_DATUM_CHOICE choice, DataType::BACnetLogRecord& value);
    bool trendLogLastUploaded(DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded& value);
    bool isoTimestamp(Poco::Timestamp& value);

    bool atEnd() const { return _pos >= _text.size(); }
    char peek() const { return atEnd() ? '\0' : _text[_pos]; }
    void skipBlanks();
    bool accept(char c);
    /// Skips blanks, then requires `c`.
    bool expect(char c);
    /// `word` followed by a character that cannot continue a name.
    bool acceptWord(std::string_view word);
    /// The longest run of characters of `allowed`.
    std::string_view token(std::string_view allowed);
    /// Exactly `count` decimal digits.
    bool fixedDigits(std::size_t count, unsigned& value);

    std::string_view _text;
    std::size_t _pos = 0;
};

}  // namespace Orvik::BACnet
