#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/Decoder.h"
#include "Orvik_BACnet/Codec/Encoder.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Codec
{

/// Fields that several services share.
class ServiceFields
{
public:
    /// Property identifier and optional array index with context tags `number` and `number` + 1.
    static void writeProperty(Encoder& out, std::uint8_t number, const PropertyReference& property);
    static PropertyReference readProperty(Decoder& in, std::uint8_t number);

    /// Object identifier [0], property identifier [1], optional array index [2]: the head of the
    /// ReadProperty, ReadRange and WriteProperty requests and ACKs.
    static void writeObjectProperty(Encoder& out, const DataType::ObjectIdentifier& object,
                                    const PropertyReference& property);
    static void readObjectProperty(Decoder& in, DataType::ObjectIdentifier& object,
                                   PropertyReference& property);
};

}  // namespace Orvik::BACnet::Codec
