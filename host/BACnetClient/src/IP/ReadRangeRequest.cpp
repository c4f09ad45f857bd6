#include "ReadRangeRequest.h"

#include "RecordConversion.h"

#include <algorithm>
#include <cstdlib>

namespace Orvik::BACnet::Client::IP
{

namespace
{

const Poco::UInt32 MAX_APDU = 1476;
const Poco::Int32 MAX_INTEGER16 = 32767;

NetworkReply::Payload readAck(const Codec::OctetView& serviceData)
{
    const Codec::ReadRange::Ack ack = Codec::ReadRange::decodeAck(serviceData);
    if (ack.error.hasError())
        return ack.error;
    return RecordConversion::resultOf(ack);
}

Poco::Int32 recordsFitting(Poco::UInt32 maxApdu)
{
    const Poco::UInt32 octets = std::min(maxApdu, MAX_APDU);
    if (octets <= ReadRangeRequest::_ACK_OVERHEAD + ReadRangeRequest::_RECORD_OCTETS)
        return 1;
    return static_cast<Poco::Int32>((octets - ReadRangeRequest::_ACK_OVERHEAD) /
                                    ReadRangeRequest::_RECORD_OCTETS);
}

}  // namespace

ReadRangeRequest::ReadRangeRequest(const DataPropertyKey& key, const ReadRange::Range& range)
    : ConfirmedRequest(key.deviceInstance, Codec::ReadRange::_SERVICE, Codec::Octets(), readAck),
      _request(RecordConversion::readRangeOf(key, range)),
      _requestedCount(range.count)
{
    limitCount(recordsFitting(MAX_APDU));
}

bool ReadRangeRequest::fitTo(Poco::UInt32 maxApdu, bool)
{
    limitCount(recordsFitting(maxApdu));
    return apduSize() <= maxApdu;
}

ConfirmedRequest::Outcome ReadRangeRequest::takeAck(const Codec::OctetView& serviceData)
{
    if (ConfirmedRequest::takeAck(serviceData) != FINISHED || !countWasCut())
        return FINISHED;
    NetworkReply answer = reply();
    auto* pResult = std::get_if<ReadRangeAck::Result>(&answer.payload);
    if (pResult == nullptr)
        return FINISHED;
    const Poco::Int32 count = _request.range.count;
    const Poco::UInt32 bufferEnd =
        count > 0 ? ReadRangeAck::RESULT_LAST_ITEM : ReadRangeAck::RESULT_FIRST_ITEM;
    if (pResult->itemCnt == static_cast<Poco::UInt32>(std::abs(count)) &&
        (pResult->resultFlags & bufferEnd) == 0)
        pResult->resultFlags |= ReadRangeAck::RESULT_MORE_ITEMS;
    return finish(std::move(answer.payload));
}

ConfirmedRequest::Outcome ReadRangeRequest::takeError(const DataError& error)
{
    const Poco::Int32 count = std::abs(_request.range.count);
    if (!isSizeError(error) || _request.range.type == Codec::ReadRange::READ_ALL || count <= 1)
        return finish(error);
    limitCount(count / 2);
    return SEND_NEXT_PART;
}

void ReadRangeRequest::limitCount(Poco::Int32 limit)
{
    Poco::Int32& count = _request.range.count;
    if (_request.range.type != Codec::ReadRange::READ_ALL)
    {
        limit = std::min(limit, MAX_INTEGER16);
        count = std::clamp(count, -limit, limit);
    }
    setServiceData(Codec::ReadRange::encodeRequest(_request));
}

}  // namespace Orvik::BACnet::Client::IP
