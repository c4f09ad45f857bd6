#include "UnreadAck.h"

namespace Orvik::BACnet::Client::IP
{

UnreadAck::UnreadAck(std::unique_ptr<ConfirmedRequest> pRequest, Codec::Octets ack)
    : _pRequest(std::move(pRequest)), _ack(std::move(ack))
{
}

NetworkReply UnreadAck::read()
{
    _pRequest->takeAck(_ack);
    return _pRequest->takeReply();
}

}  // namespace Orvik::BACnet::Client::IP
