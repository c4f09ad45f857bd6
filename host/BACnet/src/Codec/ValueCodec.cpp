#include "Orvik_BACnet/Codec/ValueCodec.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "ServiceFields.h"

namespace Orvik::BACnet::Codec
{

namespace
{

using DataType::BACnetAddress;
using DataType::BACnetDateTime;
using DataType::BACnetDeviceObjectPropertyReference;
using DataType::BACnetDeviceObjectReference;
using DataType::BACnetLogRecord;
using DataType::BACnetObjectPropertyReference;
using DataType::BACnetTimeStamp;
using DataType::BitString;
using DataType::ObjectIdentifier;

constexpr std::size_t _STATUS_FLAG_COUNT = 4;
constexpr std::uint8_t _PRIORITY_DATE_TIME = 1;  // BACnetPriorityValue's datetime choice
constexpr std::uint8_t _RECIPIENT_DEVICE = 0;
constexpr std::uint8_t _RECIPIENT_ADDRESS = 1;

[[noreturn]] void unsupported(const std::string& what)
{
    throw DecodeError(what, ERROR_CODE_DATATYPE_NOT_SUPPORTED);
}

[[noreturn]] void malformed(const std::string& what)
{
    throw DecodeError(what, ERROR_CODE_INVALID_DATA_ENCODING);
}

// ---- decoding -------------------------------------------------------------------------------------

BACnetDateTime readDateTime(Decoder& in)
{
    const BACnetValue date = in.readApplicationValue();
    const BACnetValue time = in.readApplicationValue();
    if (date.getIf<DataType::Date>() == nullptr || time.getIf<DataType::Time>() == nullptr)
    {
        malformed("BACnetDateTime without Date and Time");
    }
    return BACnetDateTime(date.get<DataType::Date>(), time.get<DataType::Time>());
}

/// The first four bits (further bits are not defined for status flags).
BitString statusFlagsOf(const BitString& bits)
{
    BitString flags(_STATUS_FLAG_COUNT);
    for (std::size_t i = 0; i < _STATUS_FLAG_COUNT && i < bits.getBitCount(); ++i)
    {
        flags.setBit(i, bits.getBit(i));
    }
    return flags;
}

BitString readLogBits(Decoder& in, std::uint8_t number)
{
    BitString bits = in.readBitString(number);
    if (bits.getBitCount() > BACnetLogRecord::_MAX_BITS)
    {
        unsupported("log datum of more than 64 bits");
    }
    return bits;
}

/// A channel's datum in a log multiple record is numbered one lower than in a log record, from
/// boolean-value (0) to failure (7), and any-value is 8; a log multiple record has no log-status or
/// time-change among its channels.
constexpr std::uint8_t MULTIPLE_ANY_VALUE = 8;

std::uint8_t multipleChoiceOf(BACNET_LOG_DATUM_CHOICE choice)
{
    return choice == LOG_DATUM_ANY_VALUE ? MULTIPLE_ANY_VALUE : static_cast<std::uint8_t>(choice - 1);
}

/// The datum at the cursor: of a log record, or (`ofChannel`) of a channel in a log multiple record.
void readLogDatum(Decoder& in, BACnetLogRecord& record, bool ofChannel = false)
{
    const Tag tag = in.peekTag();
    if (ofChannel && tag.number > MULTIPLE_ANY_VALUE)
    {
        malformed("unknown log datum choice " + std::to_string(tag.number));
    }
    const unsigned kind = !ofChannel                         ? tag.number
                          : tag.number == MULTIPLE_ANY_VALUE ? unsigned(LOG_DATUM_ANY_VALUE)
                                                             : tag.number + 1u;
    if (tag.kind == Tag::OPENING && kind == LOG_DATUM_FAILURE)
    {
        Decoder failure = in.readEnclosed(tag.number);
        const ServiceError error = ServiceError::read(failure);
        failure.expectEnd();
        record.setFailure(error.errorClass, error.errorCode);
        return;
    }
    if (tag.kind == Tag::OPENING && kind == LOG_DATUM_ANY_VALUE)
    {
        const Decoder any = in.readEnclosed(tag.number);
        const OctetView octets = any.rest();
        record.setAnyValue(std::string(reinterpret_cast<const char*>(octets.data), octets.size));
        return;
    }
    if (tag.kind != Tag::CONTEXT)
    {
        malformed("log datum is not a context-tagged choice");
    }
    switch (kind)
    {
        case LOG_DATUM_LOG_STATUS:
            record.setLogStatus(readLogBits(in, tag.number));
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            record.setBoolean(in.readBoolean(tag.number));
            break;
        case LOG_DATUM_REAL_VALUE:
            record.setReal(in.readReal(tag.number));
            break;
        case LOG_DATUM_ENUM_VALUE:
            record.setEnumerated(in.readEnumerated(tag.number));
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            record.setUnsigned(in.readUnsigned(tag.number));
            break;
        case LOG_DATUM_SIGNED_VALUE:
            record.setSigned(in.readSigned(tag.number));
            break;
        case LOG_DATUM_BITSTRING_VALUE:
            record.setBitString(readLogBits(in, tag.number));
            break;
        case LOG_DATUM_NULL_VALUE:
            in.readContextValue(tag.number, BACNET_APPLICATION_TAG_NULL);
            record.setNull();
            break;
        case LOG_DATUM_TIME_CHANGE:
            record.setTimeChange(in.readReal(tag.number));
            break;
        default:
            malformed("unknown log datum choice " + std::to_string(tag.number));
    }
}

BACnetLogRecord readLogRecord(Decoder& in)
{
    BACnetLogRecord record;
    Decoder timestamp = in.readEnclosed(0);
    record.setDateTime(readDateTime(timestamp));
    timestamp.expectEnd();
    Decoder datum = in.readEnclosed(1);
    readLogDatum(datum, record);
    datum.expectEnd();
    if (in.isContext(2))
    {
        record.setStatusFlags(statusFlagsOf(in.readBitString(2)));
    }
    return record;
}

BACnetTimeStamp readTimeStamp(Decoder& in)
{
    if (in.isContext(0))
    {
        return BACnetTimeStamp(in.readTime(0));
    }
    if (in.isContext(1))
    {
        return BACnetTimeStamp(in.readUnsigned32(1));
    }
    Decoder dateTime = in.readEnclosed(2);
    const BACnetTimeStamp stamp(readDateTime(dateTime));
    dateTime.expectEnd();
    return stamp;
}

BACnetAddress readAddress(Decoder& in)
{
    const std::uint64_t network = in.readApplicationUnsigned();
    const BACnetValue mac = in.readApplicationValue();
    const DataType::OctetString* octets = mac.getIf<DataType::OctetString>();
    if (network > 0xFFFF || octets == nullptr || octets->octets.size() > BACnetAddress::_MAX_MAC_LENGTH)
    {
        malformed("BACnetAddress out of range");
    }
    BACnetAddress address;
    address.setNetworkNumber(static_cast<std::uint16_t>(network));
    address.setMAC(reinterpret_cast<const std::uint8_t*>(octets->octets.data()), octets->octets.size());
    return address;
}

BACnetValue readRecipient(Decoder& in)
{
    if (in.isContext(_RECIPIENT_DEVICE))
    {
        return BACnetValue(in.readObjectIdentifier(_RECIPIENT_DEVICE));
    }
    Decoder address = in.readEnclosed(_RECIPIENT_ADDRESS);
    BACnetValue value(readAddress(address));
    address.expectEnd();
    return value;
}

/// One element of a primitive or ANY property: application-tagged.
BACnetValue readPrimitiveElement(Decoder& in)
{
    if (in.peekTag().kind != Tag::APPLICATION)
    {
        unsupported("context-tagged value where an application-tagged one belongs");
    }
    return in.readApplicationValue();
}

BACnetValue readElement(Decoder& in, const PropertyDatatype* row)
{
    if (row == nullptr)
    {
        return readPrimitiveElement(in);
    }
    if (row->nullable)  // a priority or optional value: NULL, or a priority slot's date and time
    {
        if (in.isApplication(BACNET_APPLICATION_TAG_NULL))
        {
            return in.readApplicationValue();
        }
        if (in.isOpening(_PRIORITY_DATE_TIME))
        {
            Decoder dateTime = in.readEnclosed(_PRIORITY_DATE_TIME);
            BACnetValue value(readDateTime(dateTime));
            dateTime.expectEnd();
            return value;
        }
    }
    if (BACnetDataTypeInfo::isPrimitive(row->dataType) || row->dataType == BACNET_DT_ANY)
    {
        return readPrimitiveElement(in);
    }
    if (row->dataType == BACNET_DT_RECIPIENT)
    {
        return readRecipient(in);
    }
    return ValueCodec::decodeConstructed(in, row->dataType);
}

// ---- encoding -------------------------------------------------------------------------------------

void writeDateTime(Encoder& out, const BACnetDateTime& dateTime)
{
    out.writeApplicationValue(BACnetValue(dateTime.date));
    out.writeApplicationValue(BACnetValue(dateTime.time));
}

void writeAddress(Encoder& out, const BACnetAddress& address)
{
    out.writeApplicationUnsigned(address.getNetworkNumber());
    out.writeApplicationValue(BACnetValue::makeOctetString(
        std::string(reinterpret_cast<const char*>(address.getMAC()), address.getMACLength())));
}

/// The record's datum in tags `choice`: its own choice in a log record, multipleChoiceOf it for a channel.
void writeLogDatum(Encoder& out, const BACnetLogRecord& record, std::uint8_t choice)
{
    switch (record.getChoice())
    {
        case LOG_DATUM_LOG_STATUS:
        case LOG_DATUM_BITSTRING_VALUE:
            out.writeBitString(choice, record.getBitString());
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            out.writeBoolean(choice, record.getBoolean());
            break;
        case LOG_DATUM_REAL_VALUE:
        case LOG_DATUM_TIME_CHANGE:
            out.writeReal(choice, record.getReal());
            break;
        case LOG_DATUM_ENUM_VALUE:
            out.writeEnumerated(choice, record.getEnumerated());
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            out.writeUnsigned(choice, record.getUnsigned());
            break;
        case LOG_DATUM_SIGNED_VALUE:
            out.writeSigned(choice, record.getSigned());
            break;
        case LOG_DATUM_FAILURE:
            out.writeOpening(choice);
            out.writeApplicationEnumerated(record.getErrorClass());
            out.writeApplicationEnumerated(record.getErrorCode());
            out.writeClosing(choice);
            break;
        case LOG_DATUM_ANY_VALUE:
        {
            const std::string& any = record.getAnyValue();
            out.writeOpening(choice);
            out.writeRaw(OctetView(reinterpret_cast<const std::uint8_t*>(any.data()), any.size()));
            out.writeClosing(choice);
            break;
        }
        default:
            out.writeContextValue(choice, BACnetValue());
            break;
    }
}

const BACnetLogRecord& logRecordAt(const ValueContainer& records, std::size_t index)
{
    const BACnetLogRecord* pRecord = records.at(index).getIf<BACnetLogRecord>();
    if (pRecord == nullptr)
    {
        throw Poco::InvalidArgumentException("a log multiple record's channel is not a log record");
    }
    return *pRecord;
}

void writeLogRecord(Encoder& out, const BACnetLogRecord& record)
{
    out.writeOpening(0);
    writeDateTime(out, record.getDateTime());
    out.writeClosing(0);
    out.writeOpening(1);
    writeLogDatum(out, record, static_cast<std::uint8_t>(record.getChoice()));
    out.writeClosing(1);
    if (record.hasStatusFlags())
    {
        out.writeBitString(2, record.getStatusFlags());
    }
}

void writeTimeStamp(Encoder& out, const BACnetTimeStamp& stamp)
{
    switch (stamp.getChoice())
    {
        case TIME_STAMP_TIME:
            out.writeContextValue(0, BACnetValue(stamp.getTime()));
            break;
        case TIME_STAMP_SEQUENCE_NUMBER:
            out.writeUnsigned(1, stamp.getSequenceNumber());
            break;
        default:
            out.writeOpening(2);
            writeDateTime(out, stamp.getDateTime());
            out.writeClosing(2);
            break;
    }
}

void writeRecipient(Encoder& out, const BACnetValue& value)
{
    if (const BACnetAddress* address = value.getIf<BACnetAddress>())
    {
        out.writeOpening(_RECIPIENT_ADDRESS);
        writeAddress(out, *address);
        out.writeClosing(_RECIPIENT_ADDRESS);
        return;
    }
    out.writeObjectIdentifier(_RECIPIENT_DEVICE, value.get<ObjectIdentifier>());
}

/// Encodes the constructed alternatives of BACnetValue.
class ConstructedWriter
{
public:
    explicit ConstructedWriter(Encoder& out) : _out(out) {}

    void operator()(const BACnetDateTime& value) const { writeDateTime(_out, value); }
    void operator()(const BACnetTimeStamp& value) const { writeTimeStamp(_out, value); }
    void operator()(const BACnetObjectPropertyReference& value) const
    {
        ServiceFields::writeObjectProperty(
            _out, value.getObjectIdentifier(),
            PropertyReference(value.getPropertyIdentifier(), value.getArrayIndex()));
    }
    void operator()(const BACnetDeviceObjectReference& value) const
    {
        if (value.hasDevice())
        {
            _out.writeObjectIdentifier(0, value.getDeviceIdentifier());
        }
        _out.writeObjectIdentifier(1, value.getObjectIdentifier());
    }
    void operator()(const BACnetDeviceObjectPropertyReference& value) const
    {
        (*this)(static_cast<const BACnetObjectPropertyReference&>(value));
        if (value.hasDevice())
        {
            _out.writeObjectIdentifier(3, value.getDeviceIdentifier());
        }
    }
    void operator()(const BACnetAddress& value) const { writeAddress(_out, value); }
    void operator()(const BACnetLogRecord& value) const { writeLogRecord(_out, value); }
    template <class T>
    void operator()(const T& value) const
    {
        if constexpr (std::is_same_v<T, DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded>)
        {
            throw Poco::InvalidArgumentException("Value has no wire encoding", "BACnetTrendLogLastUploaded");
        }
        else
        {
            _out.writeApplicationValue(BACnetValue(value));
        }
    }

private:
    Encoder& _out;
};

}  // namespace

ValueContainer ValueCodec::decode(Decoder& content, std::uint32_t objectType, BACNET_PROPERTY_ID property,
                                  std::uint32_t arrayIndex)
{
    const PropertyDatatype* row = PropertyDatatypeTable::find(objectType, property);
    if (row != nullptr && !BACnetDataTypeInfo::isHoldable(row->dataType) &&
        row->dataType != BACNET_DT_RECIPIENT)
    {
        // An empty list or array of such elements is still a value (an empty address binding list).
        if (!content.atEnd() || row->structure == BACNET_DTS_SINGLE_VALUE || arrayIndex != BACNET_ARRAY_ALL)
        {
            unsupported(std::string("datatype ") + BACnetDataTypeInfo::name(row->dataType));
        }
        ValueContainer empty;
        empty.setStructure(row->structure);
        empty.setDataType(row->dataType);
        return empty;
    }
    if (arrayIndex == 0)
    {
        row = nullptr;  // the element count, an Unsigned
    }
    ValueContainer value;
    while (!content.atEnd())
    {
        value.append(readElement(content, row));
    }
    const bool whole = arrayIndex == BACNET_ARRAY_ALL;
    const bool many = row == nullptr ? value.size() != 1 : whole && row->structure != BACNET_DTS_SINGLE_VALUE;
    if (many)
    {
        value.setStructure(row != nullptr && row->structure == BACNET_DTS_ARRAY ? BACNET_DTS_ARRAY
                                                                                : BACNET_DTS_LIST);
    }
    else if (value.size() != 1)
    {
        malformed(std::to_string(value.size()) + " values where one belongs");
    }
    else
    {
        value.setStructure(BACNET_DTS_SINGLE_VALUE);
    }
    if (row != nullptr && (row->dataType == BACNET_DT_RECIPIENT || value.size() == 0))
    {
        value.setDataType(row->dataType);
    }
    else
    {
        // The datatype the device sent: that of the first element that is not NULL.
        for (const BACnetValue& element : value.getBACnetPrimitives())
        {
            if (!element.isNull())
            {
                value.setDataType(element.getDataType());
                break;
            }
        }
        if (value.getDataType() == BACNET_DT_NULL && row != nullptr)
        {
            value.setDataType(row->dataType);
        }
    }
    return value;
}

void ValueCodec::decodeField(Decoder& in, std::uint8_t number, std::uint32_t objectType,
                             const PropertyReference& property, ValueContainer& value, ServiceError& error)
{
    Decoder content = in.readEnclosed(number);
    try
    {
        value = decode(content, objectType, property.propertyId, property.arrayIndex);
        error = ServiceError();
    }
    catch (const DecodeError& e)
    {
        value = ValueContainer();
        error = fieldError(e);
    }
}

ServiceError ValueCodec::fieldError(const DecodeError& e)
{
    const int code = e.code() != 0 ? e.code() : static_cast<int>(ERROR_CODE_INVALID_DATA_ENCODING);
    return ServiceError(ERROR_CLASS_PROPERTY, static_cast<BACNET_ERROR_CODE>(code));
}

void ValueCodec::encodeLogMultipleRecords(Encoder& out, std::uint8_t number, const ValueContainer& records,
                                          std::size_t recordCount)
{
    const auto standsAlone = [&](std::size_t index)
    {
        const BACNET_LOG_DATUM_CHOICE choice = logRecordAt(records, index).getChoice();
        return choice == LOG_DATUM_LOG_STATUS || choice == LOG_DATUM_TIME_CHANGE;
    };
    std::size_t alone = 0;
    for (std::size_t i = 0; i < records.size(); ++i)
    {
        alone += standsAlone(i) ? 1 : 0;
    }
    // Every record of data holds the same number of channels.
    const std::size_t dataRecords = recordCount > alone ? recordCount - alone : 0;
    const std::size_t data = records.size() - alone;
    const std::size_t channels = dataRecords > 0 && data % dataRecords == 0 ? data / dataRecords : 1;
    out.writeOpening(number);
    for (std::size_t first = 0; first < records.size();)
    {
        const BACnetLogRecord& head = logRecordAt(records, first);
        out.writeOpening(0);
        writeDateTime(out, head.getDateTime());
        out.writeClosing(0);
        out.writeOpening(1);
        if (standsAlone(first))
        {
            if (head.getChoice() == LOG_DATUM_LOG_STATUS)
            {
                out.writeBitString(0, head.getBitString());
            }
            else
            {
                out.writeReal(2, head.getReal());
            }
            ++first;
        }
        else
        {
            out.writeOpening(1);
            for (std::size_t taken = 0; taken < channels && first < records.size() && !standsAlone(first);
                 ++taken, ++first)
            {
                const BACnetLogRecord& channel = logRecordAt(records, first);
                writeLogDatum(out, channel, multipleChoiceOf(channel.getChoice()));
            }
            out.writeClosing(1);
        }
        out.writeClosing(1);
    }
    out.writeClosing(number);
}

std::size_t ValueCodec::decodeLogMultipleRecords(Decoder& in, std::uint8_t number, ValueContainer& records,
                                                 ServiceError& error)
{
    Decoder content = in.readEnclosed(number);
    records = ValueContainer();
    std::size_t count = 0;
    // The records of data hold one number of channels: the encoder groups the channels by it.
    std::size_t channelCount = 0;
    try
    {
        for (; !content.atEnd(); ++count)
        {
            BACnetLogRecord record;
            Decoder timestamp = content.readEnclosed(0);
            record.setDateTime(readDateTime(timestamp));
            timestamp.expectEnd();
            Decoder data = content.readEnclosed(1);
            if (data.isContext(0))
            {
                record.setLogStatus(readLogBits(data, 0));
                records.append(BACnetValue(record));
            }
            else if (data.isContext(2))
            {
                record.setTimeChange(data.readReal(2));
                records.append(BACnetValue(record));
            }
            else
            {
                Decoder channels = data.readEnclosed(1);
                std::size_t read = 0;
                for (; !channels.atEnd(); ++read)
                {
                    readLogDatum(channels, record, true);
                    records.append(BACnetValue(record));
                }
                if (read == 0 || (channelCount != 0 && read != channelCount))
                {
                    unsupported("log multiple records of " + std::to_string(channelCount) + " and " +
                                std::to_string(read) + " channels");
                }
                channelCount = read;
            }
            data.expectEnd();
        }
        error = ServiceError();
    }
    catch (const DecodeError& e)
    {
        records = ValueContainer();
        error = fieldError(e);
    }
    records.setStructure(BACNET_DTS_LIST);
    records.setDataType(BACNET_DT_LOG_RECORD);
    return count;
}

void ValueCodec::encodeField(Encoder& out, std::uint8_t number, std::uint32_t objectType,
                             const PropertyReference& property, const ValueContainer& value)
{
    out.writeOpening(number);
    encode(out, value, objectType, property.propertyId);
    out.writeClosing(number);
}

BACnetValue ValueCodec::decodeConstructed(Decoder& in, BACnetDataType dataType)
{
    switch (dataType)
    {
        case BACNET_DT_DATE_TIME:
            return BACnetValue(readDateTime(in));
        case BACNET_DT_TIME_STAMP:
            return BACnetValue(readTimeStamp(in));
        case BACNET_DT_OBJECT_PROPERTY_REFERENCE:
        {
            ObjectIdentifier object;
            PropertyReference property;
            ServiceFields::readObjectProperty(in, object, property);
            return BACnetValue(
                BACnetObjectPropertyReference(object, property.propertyId, property.arrayIndex));
        }
        case BACNET_DT_DEVICE_OBJECT_REFERENCE:
        {
            const ObjectIdentifier device = in.isContext(0) ? in.readObjectIdentifier(0)
                                                            : BACnetDeviceObjectPropertyReference::noDevice();
            return BACnetValue(BACnetDeviceObjectReference(device, in.readObjectIdentifier(1)));
        }
        case BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE:
        {
            ObjectIdentifier object;
            PropertyReference property;
            ServiceFields::readObjectProperty(in, object, property);
            const ObjectIdentifier device = in.isContext(3) ? in.readObjectIdentifier(3)
                                                            : BACnetDeviceObjectPropertyReference::noDevice();
            return BACnetValue(BACnetDeviceObjectPropertyReference(object, property.propertyId,
                                                                   property.arrayIndex, device));
        }
        case BACNET_DT_ADDRESS:
            return BACnetValue(readAddress(in));
        case BACNET_DT_LOG_RECORD:
            return BACnetValue(readLogRecord(in));
        default:
            unsupported(std::string("datatype ") + BACnetDataTypeInfo::name(dataType));
    }
}

void ValueCodec::encodeElement(Encoder& out, const BACnetValue& value)
{
    std::visit(ConstructedWriter(out), value.storage());
}

void ValueCodec::encode(Encoder& out, const ValueContainer& value, std::uint32_t objectType,
                        BACNET_PROPERTY_ID property)
{
    const PropertyDatatype* row = PropertyDatatypeTable::find(objectType, property);
    const bool recipients = value.getDataType() == BACNET_DT_RECIPIENT ||
                            (row != nullptr && row->dataType == BACNET_DT_RECIPIENT);
    const bool prioritySlots = row != nullptr && row->nullable;
    for (const BACnetValue& element : value.getBACnetPrimitives())
    {
        if (recipients)
        {
            writeRecipient(out, element);
        }
        else if (prioritySlots && element.getIf<BACnetDateTime>() != nullptr)
        {
            out.writeOpening(_PRIORITY_DATE_TIME);
            writeDateTime(out, element.get<BACnetDateTime>());
            out.writeClosing(_PRIORITY_DATE_TIME);
        }
        else
        {
            encodeElement(out, element);
        }
    }
}

}  // namespace Orvik::BACnet::Codec
