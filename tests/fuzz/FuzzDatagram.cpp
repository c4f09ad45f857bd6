// libFuzzer target: whole BACnet/IP datagrams.

#include "DatagramCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Orvik::BACnet::Codec::Test::checkDatagram(data, size);
    return 0;
}
