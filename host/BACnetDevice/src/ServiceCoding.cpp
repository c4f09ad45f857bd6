#include "Orvik_BACnetDevice/ServiceCoding.h"

#include "Orvik_BACnet/Codec/DecodeError.h"

#include <Poco/Exception.h>

#include <type_traits>
#include <variant>

namespace Orvik::BACnet::Device
{

bool ServiceCoding::isServed(std::uint8_t service)
{
    switch (service)
    {
        case SERVICE_CONFIRMED_READ_PROPERTY:
        case SERVICE_CONFIRMED_READ_PROPERTY_MULTIPLE:
        case SERVICE_CONFIRMED_READ_RANGE:
        case SERVICE_CONFIRMED_WRITE_PROPERTY:
        case SERVICE_CONFIRMED_SUBSCRIBE_COV:
        case SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY:
            return true;
        default:
            return false;
    }
}

ServiceRequest ServiceCoding::decodeRequest(std::uint8_t service, Codec::OctetView serviceData)
{
    switch (service)
    {
        case SERVICE_CONFIRMED_READ_PROPERTY:
            return ServiceRequest(Codec::ReadProperty::decodeRequest(serviceData));
        case SERVICE_CONFIRMED_READ_PROPERTY_MULTIPLE:
            return ServiceRequest(Codec::ReadPropertyMultiple::decodeRequest(serviceData));
        case SERVICE_CONFIRMED_READ_RANGE:
            return ServiceRequest(Codec::ReadRange::decodeRequest(serviceData));
        case SERVICE_CONFIRMED_WRITE_PROPERTY:
        {
            Codec::WriteProperty::Request request = Codec::WriteProperty::decodeRequest(serviceData);
            // A write without priority is a write at the lowest one.
            if (request.priority == 0)
                request.priority = 16;
            return ServiceRequest(std::move(request));
        }
        case SERVICE_CONFIRMED_SUBSCRIBE_COV:
        case SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY:
            return ServiceRequest(Codec::SubscribeCOV::decodeRequest(serviceData, service));
        default:
            throw Poco::InvalidArgumentException("Not a service the devices answer");
    }
}

ServiceCoding::EncodedReply ServiceCoding::encodeReply(const ServiceReply& reply, std::uint8_t service)
{
    EncodedReply encoded;
    std::visit(
        [&](const auto& payload)
        {
            using Payload = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<Payload, ServiceReply::SimpleAck>)
            {
                encoded.type = Codec::Apdu::SIMPLE_ACK;
            }
            else if constexpr (std::is_same_v<Payload, Codec::ServiceError>)
            {
                encoded.type = Codec::Apdu::ERROR;
                encoded.serviceData = payload.encode(service);
            }
            else
            {
                encoded.type = Codec::Apdu::COMPLEX_ACK;
                if constexpr (std::is_same_v<Payload, Codec::ReadProperty::Ack>)
                    encoded.serviceData = Codec::ReadProperty::encodeAck(payload);
                else if constexpr (std::is_same_v<Payload, Codec::ReadRange::Ack>)
                    encoded.serviceData = Codec::ReadRange::encodeAck(payload);
                else
                    encoded.serviceData = Codec::ReadPropertyMultiple::encodeAck(payload);
            }
        },
        reply.payload);
    return encoded;
}

std::uint8_t ServiceCoding::rejectReasonOf(const Codec::DecodeError& error)
{
    switch (error.code())
    {
        case ERROR_CODE_INVALID_TAG:
            return REJECT_REASON_INVALID_TAG;
        case ERROR_CODE_MISSING_REQUIRED_PARAMETER:
            return REJECT_REASON_MISSING_REQUIRED_PARAMETER;
        case ERROR_CODE_VALUE_OUT_OF_RANGE:
        case ERROR_CODE_PARAMETER_OUT_OF_RANGE:
            return REJECT_REASON_PARAMETER_OUT_OF_RANGE;
        case ERROR_CODE_INVALID_DATA_TYPE:
            return REJECT_REASON_INVALID_PARAMETER_DATA_TYPE;
        case ERROR_CODE_INVALID_DATA_ENCODING:
            return REJECT_REASON_INVALID_DATA_ENCODING;
        default:
            return REJECT_REASON_OTHER;
    }
}

}  // namespace Orvik::BACnet::Device
