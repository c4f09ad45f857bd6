#include "SegmentedTransfer.h"

#include <algorithm>

namespace Orvik::BACnet::Device::IP
{

SegmentedTransfer::SegmentedTransfer(std::uint8_t invokeId, std::uint8_t service,
                                     const Codec::Octets& serviceData, std::size_t segmentSize,
                                     std::uint8_t proposedWindow, std::uint32_t retries)
    : _invokeId(invokeId),
      _service(service),
      _proposedWindow(std::max<std::uint8_t>(proposedWindow, 1)),
      _retries(retries),
      _retriesLeft(retries)
{
    for (std::size_t offset = 0; offset < serviceData.size(); offset += segmentSize)
    {
        const auto begin = serviceData.begin() + static_cast<std::ptrdiff_t>(offset);
        const auto end = serviceData.begin() +
                         static_cast<std::ptrdiff_t>(std::min(offset + segmentSize, serviceData.size()));
        _segments.emplace_back(begin, end);
    }
}

std::size_t SegmentedTransfer::countSegments(std::size_t serviceDataSize, std::size_t segmentSize)
{
    return (serviceDataSize + segmentSize - 1) / segmentSize;
}

std::vector<Codec::Octets> SegmentedTransfer::window() const
{
    std::vector<Codec::Octets> apdus;
    for (std::size_t i = _first; i < windowEnd(); ++i)
    {
        Codec::Apdu::Header header;
        header.type = Codec::Apdu::COMPLEX_ACK;
        header.segmented = true;
        header.moreFollows = i + 1 < _segments.size();
        header.invokeId = _invokeId;
        header.sequenceNumber = static_cast<std::uint8_t>(i & 0xFF);
        header.windowSize = _proposedWindow;
        header.serviceChoice = _service;
        apdus.push_back(Codec::Apdu::encode(header, _segments[i]));
    }
    return apdus;
}

SegmentedTransfer::Progress SegmentedTransfer::acknowledge(std::uint8_t sequenceNumber, bool negative,
                                                           std::uint8_t actualWindow)
{
    // The segment acknowledged, counted from the first one in flight (sequence numbers wrap at 256).
    const std::size_t offset = static_cast<std::uint8_t>(sequenceNumber - (_first & 0xFF));
    if (offset >= windowEnd() - _first)
    {
        // A negative ACK for the segment before the window asks for the whole window again.
        const bool beforeWindow = static_cast<std::uint8_t>(sequenceNumber + 1) == (_first & 0xFF);
        if (!(negative && beforeWindow))
            return Progress::IGNORED;
        _retriesLeft = _retries;
        return Progress::SEND;
    }
    _first += offset + 1;
    _window = std::clamp<std::size_t>(actualWindow, 1, _proposedWindow);
    _retriesLeft = _retries;
    return _first >= _segments.size() ? Progress::DONE : Progress::SEND;
}

bool SegmentedTransfer::retry()
{
    if (_retriesLeft == 0)
        return false;
    --_retriesLeft;
    return true;
}

std::size_t SegmentedTransfer::windowEnd() const
{
    return std::min(_first + _window, _segments.size());
}

}  // namespace Orvik::BACnet::Device::IP
