#pragma once

#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnetDevice/ServiceReply.h"
#include "Orvik_BACnetDevice/ServiceRequest.h"

#include <cstdint>
#include <optional>

namespace Orvik::BACnet::Device
{

/// The server side of the wire codec for the services a device answers: a confirmed request's service
/// data in, a ServiceRequest out; a ServiceReply in, the answer's PDU type and service data out. Pure
/// functions over octets, bounded like the codec (nothing is read outside the given octets).
class ServiceCoding
{
public:
    /// An answer as it goes on the wire: Simple-ACK (no service data), Complex-ACK or Error.
    class EncodedReply
    {
    public:
        Codec::Apdu::Type type = Codec::Apdu::SIMPLE_ACK;
        Codec::Octets serviceData;
    };

    /// True for the confirmed services a device answers: ReadProperty, ReadPropertyMultiple,
    /// ReadRange, WriteProperty, SubscribeCOV and SubscribeCOVProperty.
    static bool isServed(std::uint8_t service);
    /// The request of a served service (others: Poco::InvalidArgumentException). Throws
    /// Codec::DecodeError for service data that cannot be read (the answer is a Reject).
    static ServiceRequest decodeRequest(std::uint8_t service, Codec::OctetView serviceData);
    /// The answer to a request of `service`.
    static EncodedReply encodeReply(const ServiceReply& reply, std::uint8_t service);
    /// The Reject reason for a request that could not be read (what DecodeError::code() says).
    static std::uint8_t rejectReasonOf(const Codec::DecodeError& error);
};

}  // namespace Orvik::BACnet::Device
