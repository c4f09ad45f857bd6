#pragma once

#include "Orvik_BACnet/Codec/OctetView.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace Orvik::BACnet::Client::IP
{

/// Puts a segmented Complex-ACK together, segment by segment, as the requester of the transaction.
///
/// The first segment (sequence number 0) sets the window the device proposed (1 to 127) and is
/// acknowledged at once; then every segment that ends a window, and the last one. A segment out of order
/// (lost or repeated ones before it) is not taken: it is answered with a negative Segment-ACK for the
/// last segment taken, so that the device goes on from there. More segments than maxSegments, or more
/// service data than maxOctets, end the answer (Abort buffer-overflow); so does a window out of range
/// (Abort window-size-out-of-range).
class SegmentAssembler
{
public:
    /// What to do after a segment.
    class Step
    {
    public:
        /// The segment was taken (the segment timer starts again).
        bool taken = false;
        /// Send a Segment-ACK for `ackSequence` (negative: the segment after it is missing).
        bool sendAck = false;
        bool negative = false;
        std::uint8_t ackSequence = 0;
        /// The whole service data is there (octets()).
        bool complete = false;
        /// The answer cannot be taken: abort it with this reason (BACNET_ABORT_REASON).
        std::optional<std::uint8_t> abortReason;
    };

    SegmentAssembler(std::size_t maxSegments, std::size_t maxOctets);

    /// One segment with its header fields. A segment other than 0 while nothing has been taken is
    /// ignored (a stray from an earlier try).
    Step take(std::uint8_t sequenceNumber, bool moreFollows, std::uint8_t proposedWindow,
              const Codec::OctetView& serviceData);

    /// The service data so far.
    const Codec::Octets& octets() const { return _octets; }
    std::uint8_t windowSize() const { return _window; }

private:
    Step takeFirst(bool moreFollows, std::uint8_t proposedWindow, const Codec::OctetView& serviceData);
    bool append(const Codec::OctetView& serviceData);

    const std::size_t _maxSegments;
    const std::size_t _maxOctets;
    Codec::Octets _octets;
    std::size_t _segments = 0;
    std::uint8_t _window = 1;
    std::uint8_t _lastSequence = 0;
    std::uint8_t _windowStart = 0;
};

}  // namespace Orvik::BACnet::Client::IP
