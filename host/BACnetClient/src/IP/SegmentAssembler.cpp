#include "SegmentAssembler.h"

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet::Client::IP
{

namespace
{

const std::uint8_t MAX_WINDOW = 127;

SegmentAssembler::Step abortWith(std::uint8_t reason)
{
    SegmentAssembler::Step step;
    step.abortReason = reason;
    return step;
}

SegmentAssembler::Step ack(std::uint8_t sequence, bool negative = false)
{
    SegmentAssembler::Step step;
    step.taken = !negative;
    step.sendAck = true;
    step.negative = negative;
    step.ackSequence = sequence;
    return step;
}

}  // namespace

SegmentAssembler::SegmentAssembler(std::size_t maxSegments, std::size_t maxOctets)
    : _maxSegments(maxSegments), _maxOctets(maxOctets)
{
}

SegmentAssembler::Step SegmentAssembler::take(std::uint8_t sequenceNumber, bool moreFollows,
                                              std::uint8_t proposedWindow,
                                              const Codec::OctetView& serviceData)
{
    if (_segments == 0)
        return sequenceNumber == 0 ? takeFirst(moreFollows, proposedWindow, serviceData) : Step();
    if (sequenceNumber != static_cast<std::uint8_t>(_lastSequence + 1))
        return ack(_lastSequence, true);
    if (!append(serviceData))
        return abortWith(ABORT_REASON_BUFFER_OVERFLOW);
    _lastSequence = sequenceNumber;
    if (!moreFollows)
    {
        Step step = ack(sequenceNumber);
        step.complete = true;
        return step;
    }
    if (sequenceNumber == static_cast<std::uint8_t>(_windowStart + _window))
    {
        _windowStart = sequenceNumber;
        return ack(sequenceNumber);
    }
    Step step;
    step.taken = true;
    return step;
}

SegmentAssembler::Step SegmentAssembler::takeFirst(bool moreFollows, std::uint8_t proposedWindow,
                                                   const Codec::OctetView& serviceData)
{
    if (proposedWindow == 0 || proposedWindow > MAX_WINDOW)
        return abortWith(ABORT_REASON_WINDOW_SIZE_OUT_OF_RANGE);
    if (!append(serviceData))
        return abortWith(ABORT_REASON_BUFFER_OVERFLOW);
    _window = proposedWindow;
    Step step = ack(0);
    step.complete = !moreFollows;
    return step;
}

bool SegmentAssembler::append(const Codec::OctetView& serviceData)
{
    if (_segments >= _maxSegments || _octets.size() + serviceData.size > _maxOctets)
        return false;
    _octets.insert(_octets.end(), serviceData.begin(), serviceData.end());
    ++_segments;
    return true;
}

}  // namespace Orvik::BACnet::Client::IP
