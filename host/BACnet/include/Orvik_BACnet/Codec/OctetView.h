#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Orvik::BACnet::Codec
{

/// Octets as the codec writes them.
using Octets = std::vector<std::uint8_t>;

/// A read-only view of octets that someone else owns (a received datagram, a part of it, or an
/// Octets buffer). Decoded records that hold a view point into the decoded input, so the input must
/// outlive them.
struct OctetView
{
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;

    OctetView() = default;
    OctetView(const std::uint8_t* someData, std::size_t aSize) : data(someData), size(aSize) {}
    OctetView(const Octets& octets) : data(octets.data()), size(octets.size()) {}

    bool empty() const { return size == 0; }
    const std::uint8_t* begin() const { return data; }
    const std::uint8_t* end() const { return data + size; }
    Octets toOctets() const { return Octets(begin(), end()); }
};

}  // namespace Orvik::BACnet::Codec
