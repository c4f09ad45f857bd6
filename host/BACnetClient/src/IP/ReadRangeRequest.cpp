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

/// Octets of an unsigned value of the ACK's context tags (1 to 4).
std::size_t unsignedOctets(Poco::UInt32 value)
{
    std::size_t octets = 1;
    while (octets < 4 && value >= (1u << (8 * octets)))
        ++octets;
    return octets;
}

}  // namespace

ReadRangeRequest::ReadRangeRequest(const DataPropertyKey& key, const ReadRange::Range& range,
                                   std::shared_ptr<LogRecordSizes> pRecordSizes)
    : ConfirmedRequest(key.deviceInstance, Codec::ReadRange::_SERVICE, Codec::Octets(), readAck),
      _request(RecordConversion::readRangeOf(key, range)),
      _requestedCount(range.count),
      _sizeLimit(MAX_INTEGER16),
      _pRecordSizes(std::move(pRecordSizes))
{
    setCountLimit(MAX_INTEGER16);  // fitTo plans the count: the sizes are read under the network's lock
}

bool ReadRangeRequest::fitTo(Poco::UInt32 maxApdu, bool)
{
    planCount(maxApdu);
    return apduSize() <= maxApdu;
}

ConfirmedRequest::Outcome ReadRangeRequest::takeAck(const Codec::OctetView& serviceData)
{
    if (ConfirmedRequest::takeAck(serviceData) != FINISHED)
        return FINISHED;
    auto* pResult = std::get_if<ReadRangeAck::Result>(&finishedPayload());
    if (pResult == nullptr)
        return FINISHED;
    learnRecordSize(*pResult, serviceData.size);
    if (!countWasCut())
        return FINISHED;
    const Poco::Int32 count = _request.range.count;
    const Poco::UInt32 bufferEnd =
        count > 0 ? ReadRangeAck::RESULT_LAST_ITEM : ReadRangeAck::RESULT_FIRST_ITEM;
    if (pResult->itemCnt == static_cast<Poco::UInt32>(std::abs(count)) &&
        (pResult->resultFlags & bufferEnd) == 0)
        pResult->resultFlags |= ReadRangeAck::RESULT_MORE_ITEMS;
    return FINISHED;
}

ConfirmedRequest::Outcome ReadRangeRequest::takeError(const DataError& error)
{
    const Poco::Int32 count = std::abs(_request.range.count);
    if (!isSizeError(error) || _request.range.type == Codec::ReadRange::READ_ALL || count <= 1)
        return finish(error);
    _sizeLimit = count / 2;
    return SEND_NEXT_PART;
}

void ReadRangeRequest::planCount(Poco::UInt32 maxApdu)
{
    setCountLimit(std::min(_sizeLimit, recordsFitting(maxApdu)));
}

void ReadRangeRequest::setCountLimit(Poco::Int32 limit)
{
    if (_request.range.type != Codec::ReadRange::READ_ALL)
        _request.range.count = std::clamp(_requestedCount, -limit, limit);
    setServiceData(Codec::ReadRange::encodeRequest(_request));
}

Poco::Int32 ReadRangeRequest::recordsFitting(Poco::UInt32 maxApdu) const
{
    const Poco::UInt32 recordOctets =
        _pRecordSizes->octetsPerRecord(deviceInstance(), _request.objectIdentifier).value_or(_RECORD_OCTETS);
    const Poco::UInt32 octets = std::min(maxApdu, MAX_APDU);
    if (octets <= _ACK_OVERHEAD + recordOctets)
        return 1;
    return static_cast<Poco::Int32>(
        std::min<Poco::UInt32>((octets - _ACK_OVERHEAD) / recordOctets, MAX_INTEGER16));
}

void ReadRangeRequest::learnRecordSize(const ReadRangeAck::Result& result, std::size_t answerOctets)
{
    if (result.itemCnt == 0)
        return;
    // The answer without its records, encoded the way the device encoded the whole.
    Codec::ReadRange::Ack frame;
    frame.objectIdentifier = _request.objectIdentifier;
    frame.property = _request.property;
    frame.resultFlags = result.resultFlags;
    frame.items.setStructure(BACNET_DTS_LIST);
    frame.items.setDataType(BACNET_DT_LOG_RECORD);
    frame.hasFirstSequenceNumber = result.firstSequenceNumber != 0;
    frame.firstSequenceNumber = result.firstSequenceNumber;
    std::size_t frameOctets = 0;
    try
    {
        frameOctets = Codec::ReadRange::encodeAck(frame).size() + unsignedOctets(result.itemCnt) - 1;
    }
    catch (const Poco::Exception&)
    {
        return;  // not a log this side can frame: the halving stays the only guide
    }
    if (answerOctets <= frameOctets)
        return;
    const std::size_t recordOctets = answerOctets - frameOctets;
    _pRecordSizes->learn(deviceInstance(), _request.objectIdentifier,
                         static_cast<Poco::UInt32>((recordOctets + result.itemCnt - 1) / result.itemCnt));
}

}  // namespace Orvik::BACnet::Client::IP
