#pragma once

#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "PeerAddress.h"

#include <optional>

namespace Orvik::BACnet::Client::IP
{

class ApduSender;

/// The requests that reach the client side of the station: COV notifications are taken, a confirmed
/// one acknowledged with a Simple-ACK first. A confirmed notification that cannot be read is rejected
/// (other), another confirmed service rejected (unrecognized-service), a segmented request aborted
/// (segmentation-not-supported); other unconfirmed services are ignored.
///
/// Not thread-safe: the transport calls it under its lock.
class COVNotificationReceiver
{
public:
    explicit COVNotificationReceiver(ApduSender& sender) : _sender(sender) {}

    /// A Confirmed- or Unconfirmed-Request from `peer`; the notification to pass on, if it is one.
    std::optional<DataResponseCOV> receive(const PeerAddress& peer, const Codec::Apdu::Message& apdu);

private:
    std::optional<DataResponseCOV> receiveConfirmed(const PeerAddress& peer,
                                                    const Codec::Apdu::Message& apdu);
    /// Answers the request with a PDU of `type` (Reject, Abort: `choice` is the reason).
    void answer(const PeerAddress& peer, const Codec::Apdu::Header& request, Codec::Apdu::Type type,
                std::uint8_t choice);

    ApduSender& _sender;
};

}  // namespace Orvik::BACnet::Client::IP
