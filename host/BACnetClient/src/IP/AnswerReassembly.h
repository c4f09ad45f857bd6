#pragma once

#include "Orvik_BACnet/Codec/Apdu.h"
#include "SegmentAssembler.h"

#include <Poco/Types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace Orvik::BACnet::Client::IP
{

/// The segmented answers coming in to the client's requests, by transaction: one SegmentAssembler each
/// (up to maxSegments segments of the largest APDU on IP), and all of them together within maxOctets of
/// service data. An answer is dropped from here when it is complete or aborted, or when its owner
/// releases it.
///
/// Not thread-safe: the transport calls it under its lock.
class AnswerReassembly
{
public:
    /// What to do after a segment.
    class Step
    {
    public:
        /// Abort the answer with this reason (BACNET_ABORT_REASON).
        std::optional<std::uint8_t> abortReason;
        /// Send this Segment-ACK to the device.
        std::optional<Codec::Apdu::Header> ack;
        /// A segment was taken and more follow: the segment timer starts again.
        bool awaitingMore = false;
        /// The whole answer's service data.
        std::optional<Codec::Octets> serviceData;
    };

    AnswerReassembly(std::uint8_t maxSegments, std::size_t maxOctets);

    /// A segment of the answer to `transactionId`. One other than the first while no answer is coming
    /// in is ignored (a stray of an earlier try).
    Step take(Poco::UInt32 transactionId, const Codec::Apdu::Message& segment);
    bool isReceiving(Poco::UInt32 transactionId) const { return _answers.count(transactionId) > 0; }
    void release(Poco::UInt32 transactionId);
    void clear();

private:
    Step aborted(Poco::UInt32 transactionId, std::uint8_t reason);

    class Answer
    {
    public:
        Answer(std::size_t maxSegments, std::size_t maxOctets) : assembler(maxSegments, maxOctets) {}

        SegmentAssembler assembler;
        /// Its share of _octets.
        std::size_t octets = 0;
    };

    const std::size_t _maxSegments;
    const std::size_t _maxOctets;
    std::map<Poco::UInt32, Answer> _answers;
    std::size_t _octets = 0;
};

}  // namespace Orvik::BACnet::Client::IP
