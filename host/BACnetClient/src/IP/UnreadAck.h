#pragma once

#include "ConfirmedRequest.h"
#include "Orvik_BACnet/Codec/OctetView.h"
#include "Orvik_BACnetClient/UnreadReply.h"

#include <memory>

namespace Orvik::BACnet::Client::IP
{

/// The ACK that ended a request's transaction (ConfirmedRequest::ackEndsTransaction()), kept with its
/// request to be read later: the request reads it as it would have under the transport's lock.
class UnreadAck : public UnreadReply
{
public:
    UnreadAck(std::unique_ptr<ConfirmedRequest> pRequest, Codec::Octets ack);

    NetworkReply read() override;

private:
    std::unique_ptr<ConfirmedRequest> _pRequest;
    Codec::Octets _ack;
};

}  // namespace Orvik::BACnet::Client::IP
