#pragma once

#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/Codec/ServiceError.h"

#include <variant>
#include <vector>

namespace Orvik::BACnet::Device
{

/// What a device answers to a ServiceRequest:
///   - ServiceReply::SimpleAck: WriteProperty and SubscribeCOV done;
///   - Codec::ServiceError: the Error PDU's class and code;
///   - Codec::ReadProperty::Ack, a vector of Codec::ReadPropertyMultiple::ObjectResult (each property
///     with its value or its own error), Codec::ReadRange::Ack: the Complex-ACK of the request.
class ServiceReply
{
public:
    class SimpleAck
    {
    };
    using Payload =
        std::variant<SimpleAck, Codec::ServiceError, Codec::ReadProperty::Ack,
                     std::vector<Codec::ReadPropertyMultiple::ObjectResult>, Codec::ReadRange::Ack>;

    ServiceReply(Payload aPayload) : payload(std::move(aPayload)) {}

    Payload payload;
};

}  // namespace Orvik::BACnet::Device
