#include "DatagramCheck.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <Poco/Exception.h>

#include "Orvik_BACnet/Codec/DecodeError.h"
#include "codec/Packet.h"

namespace Orvik::BACnet::Codec::Test
{

namespace
{

[[noreturn]] void finding(const std::string& what, const std::string& first, const std::string& second)
{
    std::fprintf(stderr, "codec fuzz finding: %s\n  first:  %s\n  second: %s\n", what.c_str(), first.c_str(),
                 second.c_str());
    std::abort();
}

}  // namespace

void checkDatagram(const std::uint8_t* data, std::size_t size)
{
    std::string description;
    Octets again;
    try
    {
        const Packet packet = Packet::decode(OctetView(data, size));
        description = packet.describe();
        again = packet.encode();
    }
    catch (const DecodeError&)
    {
        return;
    }
    catch (const Poco::InvalidArgumentException&)
    {
        return;  // decoded, but a field holds what the encoders refuse to send (a count of 0, ...)
    }
    try
    {
        const std::string second = Packet::decode(again).describe();
        // A value that could not be read shows as "! property/..."; it encodes as no value, which reads
        // back as another error.
        if (second != description && description.find("! property/") == std::string::npos)
            finding("encoded packet reads back differently", description, second);
    }
    catch (const DecodeError& e)
    {
        finding("encoded packet does not decode: " + e.displayText(), description, Packet::toHex(again));
    }
}

}  // namespace Orvik::BACnet::Codec::Test
