#include "AnswerReassembly.h"

#include "Orvik_BACnet/BACnetEnums.h"

#include <algorithm>

namespace Orvik::BACnet::Client::IP
{

AnswerReassembly::AnswerReassembly(std::uint8_t maxSegments, std::size_t maxOctets)
    : _maxSegments(std::max<std::size_t>(maxSegments, 1)), _maxOctets(maxOctets)
{
}

AnswerReassembly::Step AnswerReassembly::take(Poco::UInt32 transactionId, const Codec::Apdu::Message& segment)
{
    const Codec::Apdu::Header& header = segment.header;
    Step next;
    auto it = _answers.find(transactionId);
    if (it == _answers.end())
    {
        if (header.sequenceNumber != 0)
            return next;
        it =
            _answers.try_emplace(transactionId, _maxSegments, _maxSegments * Codec::Apdu::_MAX_APDU_IP).first;
    }
    Answer& answer = it->second;
    if (_octets + segment.serviceData.size > _maxOctets)
        return aborted(transactionId, ABORT_REASON_OUT_OF_RESOURCES);
    const SegmentAssembler::Step step = answer.assembler.take(header.sequenceNumber, header.moreFollows,
                                                              header.windowSize, segment.serviceData);
    if (step.abortReason)
        return aborted(transactionId, *step.abortReason);
    const std::size_t octets = answer.assembler.octets().size();
    _octets += octets - answer.octets;
    answer.octets = octets;
    next.awaitingMore = step.taken && !step.complete;
    if (step.sendAck)
    {
        Codec::Apdu::Header ack;
        ack.type = Codec::Apdu::SEGMENT_ACK;
        ack.invokeId = header.invokeId;
        ack.negativeAck = step.negative;
        ack.sequenceNumber = step.ackSequence;
        ack.windowSize = answer.assembler.windowSize();
        next.ack = ack;
    }
    if (step.complete)
    {
        next.serviceData = answer.assembler.octets();
        release(transactionId);
    }
    return next;
}

AnswerReassembly::Step AnswerReassembly::aborted(Poco::UInt32 transactionId, std::uint8_t reason)
{
    release(transactionId);
    Step step;
    step.abortReason = reason;
    return step;
}

void AnswerReassembly::release(Poco::UInt32 transactionId)
{
    auto it = _answers.find(transactionId);
    if (it == _answers.end())
        return;
    _octets -= it->second.octets;
    _answers.erase(it);
}

void AnswerReassembly::clear()
{
    _answers.clear();
    _octets = 0;
}

}  // namespace Orvik::BACnet::Client::IP
