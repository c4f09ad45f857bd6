#pragma once

#include <cstdint>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::Codec
{

class DecodeError;

/// Property values on the wire <-> ValueContainer.
///
/// Decoding uses the property datatype table (PropertyDatatypeTable) to know what a property holds:
///   - primitives: the application-tagged values as they arrive (the wire names each one's datatype);
///     a whole array (no array index) becomes an array, a list a list, one value a single value;
///     array index 0 gives the element count (Unsigned), index n one element;
///   - the constructed datatypes a ValueContainer holds: BACnetDateTime, BACnetTimeStamp,
///     BACnetObjectPropertyReference, BACnetDeviceObjectReference, BACnetDeviceObjectPropertyReference,
///     BACnetAddress, BACnetLogRecord (every log-datum choice; any-value is kept as its encoded octets);
///   - BACnetRecipient: each element is an object identifier (device choice) or an address;
///   - priority and optional values: NULL or the value; a priority slot that holds a date and time is a
///     BACnetDateTime;
///   - properties the table does not know (proprietary ones): their application-tagged values as they
///     are, one value single, several a list.
/// A value that cannot be read this way throws DecodeError whose code() tells why:
/// datatype-not-supported (a constructed datatype that a ValueContainer cannot hold, except an empty
/// list or array of it, or context tags in an unknown property), character-set-not-supported, or
/// invalid-data-encoding (anything malformed). Callers turn it into that property's error; nothing is
/// guessed.
///
/// Encoding writes each element in the encoding of its own datatype (a NULL element as NULL), the
/// elements of an array or list one after the other; the property's row chooses the forms that depend
/// on it (a recipient's choice, a priority slot's date and time).
class ValueCodec
{
public:
    /// Decodes the whole content of a property value field (what lies between its opening and closing
    /// tag) as property `property` of an object of type `objectType`, read with `arrayIndex`
    /// (BACNET_ARRAY_ALL: none).
    static ValueContainer decode(Decoder& content, std::uint32_t objectType, BACNET_PROPERTY_ID property,
                                 std::uint32_t arrayIndex);

    /// Writes `value` as the content of a property value field of `property` of an object of type
    /// `objectType`. Throws Poco::InvalidArgumentException for a datatype that has no encoding (the
    /// gateway's own proprietary records).
    static void encode(Encoder& out, const ValueContainer& value, std::uint32_t objectType,
                       BACNET_PROPERTY_ID property);

    /// Reads the property value field enclosed in tags `number` at the cursor. The field's framing must
    /// be sound (else DecodeError); a content that cannot be read leaves `value` empty and sets `error`
    /// to class property with the DecodeError's code.
    static void decodeField(Decoder& in, std::uint8_t number, std::uint32_t objectType,
                            const PropertyReference& property, ValueContainer& value, ServiceError& error);
    /// Writes `value` enclosed in tags `number`.
    static void encodeField(Encoder& out, std::uint8_t number, std::uint32_t objectType,
                            const PropertyReference& property, const ValueContainer& value);

    /// The log-buffer records of a trend log multiple (BACnetLogMultipleRecord) enclosed in tags
    /// `number`, held as the log records of their channels: a log-status or time-change record stands
    /// alone, and the other BACnetLogRecords of `records` (one per channel, with the record's time) make
    /// `recordCount` records with the rest, the same number of channels each. Throws
    /// Poco::InvalidArgumentException for an element that is not a BACnetLogRecord.
    static void encodeLogMultipleRecords(Encoder& out, std::uint8_t number, const ValueContainer& records,
                                         std::size_t recordCount);
    /// Reads them back as a list of BACnetLogRecord, one per channel datum; returns how many log multiple
    /// records it held. Framing as decodeField; a content that cannot be read, or records of data with no
    /// channel or with different numbers of channels, leave `records` empty and set `error`.
    static std::size_t decodeLogMultipleRecords(Decoder& in, std::uint8_t number, ValueContainer& records,
                                                ServiceError& error);

    /// One element of a constructed datatype, read at the cursor.
    static BACnetValue decodeConstructed(Decoder& in, BACnetDataType dataType);
    /// One element, in the encoding of its datatype.
    static void encodeElement(Encoder& out, const BACnetValue& value);

private:
    /// The property error of a field whose content cannot be read.
    static ServiceError fieldError(const DecodeError& e);
};

}  // namespace Orvik::BACnet::Codec
