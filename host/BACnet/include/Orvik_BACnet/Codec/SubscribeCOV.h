#pragma once

#include <cstdint>

#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

namespace Orvik::BACnet::Codec
{

/// SubscribeCOV (confirmed service 5) and SubscribeCOVProperty (confirmed service 28): request
/// service data (the answer is a Simple-ACK). One record for both (the client's
/// NotificationRequestSubscribeCOV::Parameters plus the object and property): with hasProperty it is
/// SubscribeCOVProperty.
class SubscribeCOV
{
public:
    struct Request
    {
        std::uint32_t subscriberProcessIdentifier = 0;
        DataType::ObjectIdentifier monitoredObjectIdentifier;
        /// Cancels the subscription: issueConfirmedNotifications and lifetime are not sent.
        bool cancellation = false;
        bool issueConfirmedNotifications = false;
        /// Seconds; 0 without time limit.
        std::uint32_t lifetime = 0;
        /// SubscribeCOVProperty: the monitored property, and optionally its own COV increment.
        bool hasProperty = false;
        PropertyReference property;
        bool hasCovIncrement = false;
        float covIncrement = 0.0f;

        /// SERVICE_CONFIRMED_SUBSCRIBE_COV or SERVICE_CONFIRMED_SUBSCRIBE_COV_PROPERTY.
        std::uint8_t service() const;
    };

    /// Throws Poco::InvalidArgumentException for a COV increment without property.
    static Octets encodeRequest(const Request& request);
    /// `service` tells which of the two requests it is. Throws DecodeError for a malformed request,
    /// or a SubscribeCOVProperty without its property.
    static Request decodeRequest(OctetView serviceData, std::uint8_t service);
};

}  // namespace Orvik::BACnet::Codec
