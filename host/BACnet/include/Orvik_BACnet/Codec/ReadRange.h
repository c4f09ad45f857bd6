#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"

namespace Orvik::BACnet::Codec
{

/// ReadRange (confirmed service 26): request and ACK service data.
class ReadRange
{
public:
    static constexpr std::uint8_t _SERVICE = SERVICE_CONFIRMED_READ_RANGE;

    /// The range kinds, with the numbers of the client's ReadRange::RequestType.
    enum RangeType
    {
        BY_POSITION = 1,
        BY_SEQUENCE_NUMBER = 2,
        BY_TIME = 4,
        READ_ALL = 8,  ///< no range on the wire
    };

    /// ResultFlag bit values (the client's ReadRangeAck::ResultFlag).
    enum ResultFlag
    {
        FIRST_ITEM = 1,
        LAST_ITEM = 2,
        MORE_ITEMS = 4,
    };

    /// The client's ReadRange::Range.
    struct Range
    {
        RangeType type = READ_ALL;
        std::uint32_t referenceIndex = 1;           ///< BY_POSITION
        std::uint32_t referenceSequenceNumber = 0;  ///< BY_SEQUENCE_NUMBER
        DataType::BACnetDateTime referenceTime;     ///< BY_TIME
        /// Records from the reference on (positive) or back from it (negative); INTEGER16 on the wire.
        std::int32_t count = 0;
    };

    struct Request
    {
        DataType::ObjectIdentifier objectIdentifier;
        PropertyReference property{PROP_LOG_BUFFER};
        Range range;
    };

    /// The ACK (the client's ReadRangeAck::Result plus the echoed object and property). `items` is a
    /// list of the property's records (log-buffer: BACnetLogRecord). `error` is set, and `items`
    /// empty, when the records cannot be read (ValueCodec) or their number differs from itemCount.
    struct Ack
    {
        DataType::ObjectIdentifier objectIdentifier;
        PropertyReference property{PROP_LOG_BUFFER};
        /// ResultFlag bits.
        std::uint32_t resultFlags = 0;
        std::uint32_t itemCount = 0;
        ValueContainer items;
        bool hasFirstSequenceNumber = false;
        std::uint32_t firstSequenceNumber = 0;
        ServiceError error;
    };

    /// Throws Poco::InvalidArgumentException for a count outside INTEGER16 or 0 (except READ_ALL).
    static Octets encodeRequest(const Request& request);
    static Request decodeRequest(OctetView serviceData);
    static Octets encodeAck(const Ack& ack);
    /// Throws DecodeError when the ACK itself is malformed.
    static Ack decodeAck(OctetView serviceData);
};

}  // namespace Orvik::BACnet::Codec
