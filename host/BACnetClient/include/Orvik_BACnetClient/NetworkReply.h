#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"

#include <variant>
#include <vector>

namespace Orvik::BACnet::Client
{

/// What a device answered to a confirmed request, as a Network hands it to the client worker:
///   - NetworkReply::Ack: a simple acknowledgement (WriteProperty, SubscribeCOV);
///   - DataError: an error, reject or abort;
///   - ValueContainer: a ReadProperty-ACK;
///   - std::vector<DataResponseRPM>: a ReadPropertyMultiple-ACK;
///   - ReadRangeAck::Result: a ReadRange-ACK.
class NetworkReply
{
public:
    class Ack
    {
    };
    using Payload =
        std::variant<Ack, DataError, ValueContainer, std::vector<DataResponseRPM>, ReadRangeAck::Result>;

    NetworkReply(Payload aPayload) : payload(std::move(aPayload)) {}

    Payload payload;
};

}  // namespace Orvik::BACnet::Client
