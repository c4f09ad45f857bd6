#pragma once

#include "Orvik_BACnet/Codec/Apdu.h"
#include "Orvik_BACnet/Codec/OctetView.h"

#include <Poco/Timestamp.h>

#include <cstdint>
#include <vector>

namespace Orvik::BACnet::Device::IP
{

/// One segmented Complex-ACK on its way: the service data cut into segments that fit the requester's
/// max APDU, sent a window at a time. The first segment goes alone; the requester's Segment-ACK gives
/// the window for the rest (at most the proposed one). A Segment-ACK acknowledges every segment up to
/// its sequence number (a negative one asks for the segments after it again); one outside the window
/// in flight is a duplicate and changes nothing. The caller resends the window when the segment
/// time-out passes, as long as retries are left.
class SegmentedTransfer
{
public:
    enum class Progress
    {
        IGNORED,  ///< a Segment-ACK that matches no segment in flight
        SEND,     ///< send window()
        DONE      ///< every segment acknowledged
    };

    /// `segmentSize`: service data octets per segment (the requester's max APDU less the header).
    SegmentedTransfer(std::uint8_t invokeId, std::uint8_t service, const Codec::Octets& serviceData,
                      std::size_t segmentSize, std::uint8_t proposedWindow, std::uint32_t retries);

    /// The segments `serviceData` takes.
    static std::size_t countSegments(std::size_t serviceDataSize, std::size_t segmentSize);

    /// The APDUs of the window in flight.
    std::vector<Codec::Octets> window() const;
    Progress acknowledge(std::uint8_t sequenceNumber, bool negative, std::uint8_t actualWindow);
    /// Uses up one retry; false when none is left (the transfer is given up).
    bool retry();

    /// When the window in flight is to be sent again.
    Poco::Timestamp due;

private:
    std::size_t windowEnd() const;

    const std::uint8_t _invokeId;
    const std::uint8_t _service;
    const std::uint8_t _proposedWindow;
    std::vector<Codec::Octets> _segments;
    std::size_t _first = 0;
    std::size_t _window = 1;
    const std::uint32_t _retries;
    std::uint32_t _retriesLeft;
};

}  // namespace Orvik::BACnet::Device::IP
