// libFuzzer target: service data behind a ready-made header. The first input octet picks the header
// (PDU type and service), the rest is the service data, so the fuzzer spends its time inside the
// service and value decoders instead of learning the headers.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DatagramCheck.h"

namespace
{

/// NPDU and APDU header octets, by the first input octet (modulo the count).
const std::vector<std::vector<std::uint8_t>> _HEADERS = {
    {0x01, 0x00, 0x10, 0x08},              // Who-Is
    {0x01, 0x00, 0x10, 0x00},              // I-Am
    {0x01, 0x00, 0x10, 0x02},              // UnconfirmedCOVNotification
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x0c},  // ReadProperty
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x0e},  // ReadPropertyMultiple
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x1a},  // ReadRange
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x0f},  // WriteProperty
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x05},  // SubscribeCOV
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x1c},  // SubscribeCOVProperty
    {0x01, 0x04, 0x00, 0x05, 0x01, 0x01},  // ConfirmedCOVNotification
    {0x01, 0x00, 0x30, 0x01, 0x0c},        // ReadProperty-ACK
    {0x01, 0x00, 0x30, 0x01, 0x0e},        // ReadPropertyMultiple-ACK
    {0x01, 0x00, 0x30, 0x01, 0x1a},        // ReadRange-ACK
    {0x01, 0x00, 0x50, 0x01, 0x0c},        // Error (class and code)
    {0x01, 0x00, 0x50, 0x01, 0x10},        // Error (a service's own error record)
    {0x01, 0x80},                          // network layer message (its type first)
};

constexpr std::size_t _MAX_DATAGRAM = 0xFFFF;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::vector<std::uint8_t>& header = _HEADERS[data[0] % _HEADERS.size()];
    std::vector<std::uint8_t> datagram{0x81, 0x0a, 0, 0};
    datagram.insert(datagram.end(), header.begin(), header.end());
    datagram.insert(datagram.end(), data + 1, data + size);
    if (datagram.size() > _MAX_DATAGRAM)
        return 0;
    datagram[2] = static_cast<std::uint8_t>(datagram.size() >> 8);
    datagram[3] = static_cast<std::uint8_t>(datagram.size());
    Orvik::BACnet::Codec::Test::checkDatagram(datagram.data(), datagram.size());
    return 0;
}
