#pragma once

#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/Codec/SubscribeCOV.h"
#include "Orvik_BACnet/Codec/WriteProperty.h"

#include <variant>
#include <vector>

namespace Orvik::BACnet::Device
{

/// A confirmed request as a device serves it: the decoded service data of ReadProperty,
/// ReadPropertyMultiple (its object requests), ReadRange, WriteProperty, or SubscribeCOV /
/// SubscribeCOVProperty. Whoever takes requests off a network (the wire server, the in-process site)
/// builds one and hands it to Site::serve. A WriteProperty is written at its priority, 1 to 16 (others:
/// value-out-of-range); a server gives a request without priority (0 on the wire) priority 16 first.
class ServiceRequest
{
public:
    using Payload =
        std::variant<Codec::ReadProperty::Request, std::vector<Codec::ReadPropertyMultiple::ObjectRequest>,
                     Codec::ReadRange::Request, Codec::WriteProperty::Request, Codec::SubscribeCOV::Request>;

    ServiceRequest(Payload aPayload) : payload(std::move(aPayload)) {}

    Payload payload;
};

}  // namespace Orvik::BACnet::Device
