#include "COVNotificationReceiver.h"

#include "ApduSender.h"
#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/DecodeError.h"
#include "RecordConversion.h"

namespace Orvik::BACnet::Client::IP
{

using Codec::Apdu;
using Codec::COVNotification;

std::optional<DataResponseCOV> COVNotificationReceiver::receive(const PeerAddress& peer,
                                                                const Apdu::Message& apdu)
{
    if (apdu.header.type == Apdu::CONFIRMED_REQUEST)
        return receiveConfirmed(peer, apdu);
    if (apdu.header.serviceChoice != COVNotification::_UNCONFIRMED_SERVICE)
        return std::nullopt;
    return RecordConversion::notificationOf(COVNotification::decode(apdu.serviceData), false);
}

std::optional<DataResponseCOV> COVNotificationReceiver::receiveConfirmed(const PeerAddress& peer,
                                                                         const Apdu::Message& apdu)
{
    if (apdu.header.segmented)
    {
        answer(peer, apdu.header, Apdu::ABORT, ABORT_REASON_SEGMENTATION_NOT_SUPPORTED);
        return std::nullopt;
    }
    if (apdu.header.serviceChoice != COVNotification::_CONFIRMED_SERVICE)
    {
        answer(peer, apdu.header, Apdu::REJECT, REJECT_REASON_UNRECOGNIZED_SERVICE);
        return std::nullopt;
    }
    COVNotification notification;
    try
    {
        notification = COVNotification::decode(apdu.serviceData);
    }
    catch (const Codec::DecodeError&)
    {
        answer(peer, apdu.header, Apdu::REJECT, REJECT_REASON_OTHER);
        return std::nullopt;
    }
    answer(peer, apdu.header, Apdu::SIMPLE_ACK, apdu.header.serviceChoice);
    return RecordConversion::notificationOf(notification, true);
}

void COVNotificationReceiver::answer(const PeerAddress& peer, const Apdu::Header& request, Apdu::Type type,
                                     std::uint8_t choice)
{
    Apdu::Header header;
    header.type = type;
    header.invokeId = request.invokeId;
    header.server = true;
    header.serviceChoice = choice;
    _sender.sendPdu(peer, header);
}

}  // namespace Orvik::BACnet::Client::IP
