#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Orvik_BACnet/BACnetValue.h"

namespace Orvik::BACnet
{

/// The stored text form of values (ValueContainer::getText / setText): the one place where it is
/// defined. It is what the configuration database holds in ap_app_property_instance.value and
/// ap_app_property.default_value, so people write it by hand: it is plain, readable ASCII/UTF-8.
///
/// Which datatype a text is read as comes from outside (the property's BACnetDataType and, for ANY,
/// its application tag); the text itself carries no type names.
///
///   stored   := ""                                    no value (NULL)
///             | element                               a single value
///             | "[" [ element { "," element } ] "]"   a list or array; "[]" is an empty list
///
/// Blanks (space, tab) around elements, commas and brackets are ignored, except inside a raw
/// character string (below). Every primitive element may also be the word null (BACnet NULL, as in a
/// priority array or an optional value).
///
///   datatype                  element                                         examples
///   NULL                      null                                            null
///   BOOLEAN                   true | false  (also 1, 0; any letter case)      true
///   UNSIGNED                  decimal, 0 .. 2^64-1                            42
///   SIGNED                    decimal with optional sign, 64 bits             -7
///   REAL, DOUBLE              decimal or exponent form; nan, inf, -inf;       21.5   -1e-05   inf
///                             written as the shortest text that reads back exactly
///   OCTET_STRING              0x and hexadecimal octets                       0x0a1bff   0x (empty)
///   CHARACTER_STRING          "quoted"; a single value may also be raw text    "Hall \"A\""   My Site
///   BIT_STRING                0b and the bits, bit 0 first (0b may be left    0b0100   0b (empty)
///                             out when there are bits)
///   ENUMERATED                decimal                                         3
///   DATE                      year-month-day [weekday]                        2024-03-05   *-12-*
///   TIME                      hour:minute:second[.hundredths]                 14:03:07.12   *:*:*.*
///   OBJECT_IDENTIFIER         object-type:instance (type name or number)      analog-input:5   200:1
///   DATE_TIME                 date time                                       2024-03-05 14:03:07.12
///   TIME_STAMP                time | sequence number | date time              14:03:07.00   17
///   OBJECT_PROPERTY_REFERENCE object.property[index]                          analog-input:5.present-value
///   DEVICE_OBJECT_REFERENCE   [device/]object                                 device:7/trend-log:3
///   DEVICE_OBJECT_PROPERTY_   [device/]object.property[index] device:7/analog-value:1.priority-array[8]
///     REFERENCE
///   ADDRESS                   network/mac (BACnetAddress MAC text)            0/192.168.1.10:47808   65535/
///   LOG_RECORD                {date time, choice: datum[, status flags]}      {2024-03-05 14:03:07.12,
///                                                                               real-value: 21.5, 0b0100}
///   TREND_LOG_LAST_UPLOADED   {device object reference[, UTC time stamp       {device:7/trend-log:3,
///                             [, sequence number]]}                 2024-03-05T14:03:07.123456Z, 4711}
///
/// Character strings. Quoted strings use the escapes \" \\ \n \r \t and \xHH (any octet, so text that
/// is not UTF-8 survives). getText writes a single string raw when that reads back unchanged (not
/// empty, not starting with '"' or '[', no control characters, valid UTF-8), else quoted; list elements
/// are always quoted. A raw string is taken exactly as written, blanks included. Outside escapes, the
/// stored text must be valid UTF-8.
///
/// Dates and times. Fields are decimal; '*' is unspecified (255; year 2155). month 13/14 = odd/even
/// months, day 32 = last day, 33/34 = odd/even days. The weekday is mon .. sun, '*' or a number; when it
/// is left out it is computed from a valid date (else unspecified), and getText leaves it out exactly
/// when it equals that. Hundredths are optional on input (0) and always written.
///
/// Names. Object types, properties, error classes and error codes are the standard's names
/// (analog-input, present-value, property/unknown-property); numbers are accepted everywhere and are
/// written for values without a standard name. Property array index: [n], absent = none.
///
/// Log records. The choice is one of log-status, boolean-value, real-value, enum-value, unsigned-value,
/// signed-value, bitstring-value, null-value (no datum: "null-value"), failure (error-class/error-code),
/// time-change, any-value (the encoded value as an octet string, 0x...); the status flags (four bits)
/// are optional.
///
/// Trend log upload positions. The time stamp is UTC in ISO 8601 with 1 to 6 fractional digits
/// (microseconds) and a final Z; getText always writes six. Left out it is 0, the epoch (never
/// uploaded): {device:7/trend-log:3} is the same as {device:7/trend-log:3, 1970-01-01T00:00:00.000000Z}.
/// The sequence number of the last uploaded record follows when it is known (1 to 4294967295); left
/// out it is 0 (not known), which is how positions stored before sequence numbers were kept read.
///
/// Examples of whole stored texts:
///   21.5                                           REAL
///   [device:7/trend-log:3, device:9/device:9]      list of DEVICE_OBJECT_REFERENCE
///   [{device:7/trend-log:3, 2024-03-05T14:03:07.123456Z}, {device:7/trend-log:4}]
///   ["ftp.example.com", "backup host"]             list of CHARACTER_STRING
///   [null, null, 21.5, null]                       REAL array with NULL elements
class ValueText
{
public:
    /// Appends the stored form of one element. `quoteStrings` false writes character strings raw
    /// (the display form); true writes them as getText does for a list element.
    static void appendElement(std::string& out, const BACnetValue& value, bool quoteStrings);

    /// Appends a character string raw when that reads back unchanged as a single value, else quoted.
    static void appendSingleString(std::string& out, const std::string& text);

    /// Appends a time stamp as ISO 8601 UTC with six fractional digits ("2024-03-05T14:03:07.123456Z").
    /// Poco's formatter writes negative fields before 1970; this one is exact for the years 1 to 9999.
    static void appendIsoTimestamp(std::string& out, const Poco::Timestamp& timestamp);

    /// Reads a stored text as `dataType` (`appTag` for BACNET_DT_ANY) into `values`. `isList` tells
    /// whether it was bracketed; `acceptList` false refuses brackets. An empty text gives no element.
    /// False for malformed text; `values` is then empty. Never reads outside `text`.
    static bool parse(std::string_view text, BACnetDataType dataType, BACNET_APPLICATION_TAG appTag,
                      bool acceptList, std::vector<BACnetValue>& values, bool& isList);
};

}  // namespace Orvik::BACnet
