#pragma once

#include <cstddef>
#include <cstdint>

namespace Orvik::BACnet::Codec::Test
{

/// What every fuzz target checks for one input datagram: decoding throws nothing but DecodeError;
/// a decoded packet describes itself and encodes again (or its encoder refuses with
/// Poco::InvalidArgumentException); the encoded datagram decodes again to the same description,
/// unless a value in it could not be read (its error is what comes back then). Anything else aborts
/// with a message, which libFuzzer reports as a finding.
void checkDatagram(const std::uint8_t* data, std::size_t size);

}  // namespace Orvik::BACnet::Codec::Test
