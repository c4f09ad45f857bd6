#include "Orvik_BACnet/Codec/ReadRange.h"

#include <limits>

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/ValueCodec.h"
#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "ServiceFields.h"

namespace Orvik::BACnet::Codec
{

namespace
{

constexpr std::uint8_t _BY_POSITION = RANGE_BY_POSITION;
constexpr std::uint8_t _BY_SEQUENCE_NUMBER = RANGE_BY_SEQUENCE_NUMBER;
constexpr std::uint8_t _BY_TIME = RANGE_BY_TIME;
constexpr std::uint8_t _RESULT_FLAGS = 3;
constexpr std::uint8_t _ITEM_COUNT = 4;
constexpr std::uint8_t _ITEM_DATA = 5;
constexpr std::uint8_t _FIRST_SEQUENCE_NUMBER = 6;
constexpr std::size_t _RESULT_FLAG_COUNT = 3;

/// A trend log multiple's log-buffer: its items go as BACnetLogMultipleRecords.
bool holdsLogMultipleRecords(const ReadRange::Ack& ack)
{
    const PropertyDatatype* row =
        PropertyDatatypeTable::find(ack.objectIdentifier.getObjectType(), ack.property.propertyId);
    return row != nullptr && row->dataType == BACNET_DT_LOG_MULTIPLE_RECORD;
}

std::uint8_t rangeTag(ReadRange::RangeType type)
{
    switch (type)
    {
        case ReadRange::BY_POSITION:
            return _BY_POSITION;
        case ReadRange::BY_SEQUENCE_NUMBER:
            return _BY_SEQUENCE_NUMBER;
        case ReadRange::BY_TIME:
            return _BY_TIME;
        default:
            throw Poco::InvalidArgumentException("Unknown ReadRange range type", std::to_string(type));
    }
}

void writeRange(Encoder& out, const ReadRange::Range& range)
{
    if (range.type == ReadRange::READ_ALL)
    {
        return;
    }
    if (range.count == 0 || range.count < std::numeric_limits<std::int16_t>::min() ||
        range.count > std::numeric_limits<std::int16_t>::max())
    {
        throw Poco::InvalidArgumentException("ReadRange count out of range", std::to_string(range.count));
    }
    const std::uint8_t tag = rangeTag(range.type);
    out.writeOpening(tag);
    if (range.type == ReadRange::BY_POSITION)
    {
        out.writeApplicationUnsigned(range.referenceIndex);
    }
    else if (range.type == ReadRange::BY_SEQUENCE_NUMBER)
    {
        out.writeApplicationUnsigned(range.referenceSequenceNumber);
    }
    else
    {
        out.writeApplicationValue(BACnetValue(range.referenceTime.date));
        out.writeApplicationValue(BACnetValue(range.referenceTime.time));
    }
    out.writeApplicationValue(BACnetValue::makeSigned(range.count));
    out.writeClosing(tag);
}

std::uint32_t readUnsigned32(Decoder& in)
{
    const std::uint64_t value = in.readApplicationUnsigned();
    if (value > std::numeric_limits<std::uint32_t>::max())
    {
        throw DecodeError("ReadRange reference out of range", ERROR_CODE_INVALID_DATA_ENCODING);
    }
    return static_cast<std::uint32_t>(value);
}

ReadRange::Range readRange(Decoder& in)
{
    ReadRange::Range range;
    if (in.atEnd())
    {
        return range;
    }
    const Tag tag = in.peekTag();
    if (!tag.isOpening(_BY_POSITION) && !tag.isOpening(_BY_SEQUENCE_NUMBER) && !tag.isOpening(_BY_TIME))
    {
        throw DecodeError("Unknown ReadRange range", std::to_string(tag.number), ERROR_CODE_INVALID_TAG);
    }
    Decoder fields = in.readEnclosed(tag.number);
    if (tag.number == _BY_POSITION)
    {
        range.type = ReadRange::BY_POSITION;
        range.referenceIndex = readUnsigned32(fields);
    }
    else if (tag.number == _BY_SEQUENCE_NUMBER)
    {
        range.type = ReadRange::BY_SEQUENCE_NUMBER;
        range.referenceSequenceNumber = readUnsigned32(fields);
    }
    else
    {
        range.type = ReadRange::BY_TIME;
        range.referenceTime =
            ValueCodec::decodeConstructed(fields, BACNET_DT_DATE_TIME).get<DataType::BACnetDateTime>();
    }
    const BACnetValue count = fields.readApplicationValue();
    const std::int64_t* number = count.getIf<std::int64_t>();
    if (number == nullptr || *number < std::numeric_limits<std::int32_t>::min() ||
        *number > std::numeric_limits<std::int32_t>::max())
    {
        throw DecodeError("ReadRange count is not an INTEGER in range", ERROR_CODE_INVALID_DATA_ENCODING);
    }
    range.count = static_cast<std::int32_t>(*number);
    fields.expectEnd();
    return range;
}

DataType::BitString resultFlagBits(std::uint32_t flags)
{
    DataType::BitString bits(_RESULT_FLAG_COUNT);
    for (std::size_t i = 0; i < _RESULT_FLAG_COUNT; ++i)
    {
        bits.setBit(i, (flags >> i) & 1u);
    }
    return bits;
}

std::uint32_t resultFlagsOf(const DataType::BitString& bits)
{
    std::uint32_t flags = 0;
    for (std::size_t i = 0; i < _RESULT_FLAG_COUNT && i < bits.getBitCount(); ++i)
    {
        flags |= bits.getBit(i) ? 1u << i : 0u;
    }
    return flags;
}

}  // namespace

Octets ReadRange::encodeRequest(const Request& request)
{
    Encoder out;
    ServiceFields::writeObjectProperty(out, request.objectIdentifier, request.property);
    writeRange(out, request.range);
    return out.take();
}

ReadRange::Request ReadRange::decodeRequest(OctetView serviceData)
{
    Decoder in(serviceData);
    Request request;
    ServiceFields::readObjectProperty(in, request.objectIdentifier, request.property);
    request.range = readRange(in);
    in.expectEnd();
    return request;
}

Octets ReadRange::encodeAck(const Ack& ack)
{
    Encoder out;
    ServiceFields::writeObjectProperty(out, ack.objectIdentifier, ack.property);
    out.writeBitString(_RESULT_FLAGS, resultFlagBits(ack.resultFlags));
    out.writeUnsigned(_ITEM_COUNT, ack.itemCount);
    if (holdsLogMultipleRecords(ack))
    {
        // Items are the channels' log records; itemCount counts whole records.
        ValueCodec::encodeLogMultipleRecords(out, _ITEM_DATA, ack.items, ack.itemCount);
    }
    else
    {
        ValueCodec::encodeField(out, _ITEM_DATA, ack.objectIdentifier.getObjectType(), ack.property,
                                ack.items);
    }
    if (ack.hasFirstSequenceNumber)
    {
        out.writeUnsigned(_FIRST_SEQUENCE_NUMBER, ack.firstSequenceNumber);
    }
    return out.take();
}

ReadRange::Ack ReadRange::decodeAck(OctetView serviceData)
{
    Decoder in(serviceData);
    Ack ack;
    ServiceFields::readObjectProperty(in, ack.objectIdentifier, ack.property);
    ack.resultFlags = resultFlagsOf(in.readBitString(_RESULT_FLAGS));
    ack.itemCount = in.readUnsigned32(_ITEM_COUNT);
    std::size_t records = 0;
    if (holdsLogMultipleRecords(ack))
    {
        records = ValueCodec::decodeLogMultipleRecords(in, _ITEM_DATA, ack.items, ack.error);
    }
    else
    {
        ValueCodec::decodeField(in, _ITEM_DATA, ack.objectIdentifier.getObjectType(), ack.property, ack.items,
                                ack.error);
        records = ack.items.size();
    }
    if (!ack.error.hasError() && records != ack.itemCount)
    {
        ack.items = ValueContainer();
        ack.error = ServiceError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_DATA_ENCODING);
    }
    if (in.isContext(_FIRST_SEQUENCE_NUMBER))
    {
        ack.hasFirstSequenceNumber = true;
        ack.firstSequenceNumber = in.readUnsigned32(_FIRST_SEQUENCE_NUMBER);
    }
    in.expectEnd();
    return ack;
}

}  // namespace Orvik::BACnet::Codec
