#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "Orvik_BACnet/DataType/BACnetComplex.h"

namespace Orvik::BACnet::DataType
{

/// BACnetAddress: a network number and the station's MAC address on that network (0 to 7 octets).
/// An empty MAC is a broadcast on the network; network 65535 with an empty MAC is the global
/// broadcast, which is also the default. Network 0 is the local network.
///
/// MAC text (setMAC, getString):
///   ""                         broadcast (no MAC)
///   "192.168.1.10:47808"       BACnet/IP: four decimal octets, optional ":port" (default 47808),
///                              six MAC octets; every six-octet MAC is written in this form
///   "1f", "0a:1b:2c", "0a-1b"  other MACs: hexadecimal octets, optionally separated by ':' or '-'
class BACnetAddress : public BACnetComplex
{
public:
    static constexpr std::size_t _MAX_MAC_LENGTH = 7;
    static constexpr std::uint16_t _GLOBAL_BROADCAST_NETWORK = 0xFFFF;
    static constexpr std::uint16_t _DEFAULT_IP_PORT = 47808;

    /// Global broadcast.
    BACnetAddress() = default;

    std::uint16_t getNetworkNumber() const { return _networkNumber; }
    void setNetworkNumber(std::uint16_t networkNumber) { _networkNumber = networkNumber; }

    /// Sets the MAC from its text (see above). False for text that is not a MAC; the MAC is then
    /// unchanged.
    bool setMAC(const std::string& text);
    /// False when `length` is above 7; the MAC is then unchanged.
    bool setMAC(const std::uint8_t* mac, std::size_t length);

    std::size_t getMACLength() const { return _macLength; }
    const std::uint8_t* getMAC() const { return _mac.data(); }

    bool isBroadcast() const { return _macLength == 0; }
    bool isGlobalBroadcast() const { return isBroadcast() && _networkNumber == _GLOBAL_BROADCAST_NETWORK; }

    /// With `macOnly` the MAC text alone; otherwise the network number, "/" and the MAC text
    /// ("0/192.168.1.10:47808", "65535/" for the global broadcast). Returns `out`.
    std::string& getString(std::string& out, bool macOnly) const;

    /// <Sequence name=...> with network-number and mac-address.
    void markup(WS::MarkupFactory& mf, const std::string& name, bool startArray) const override;

    bool operator==(const BACnetAddress& other) const;
    bool operator!=(const BACnetAddress& other) const { return !(*this == other); }

private:
    std::uint16_t _networkNumber = _GLOBAL_BROADCAST_NETWORK;
    std::uint8_t _macLength = 0;
    std::array<std::uint8_t, _MAX_MAC_LENGTH> _mac{};
};

}  // namespace Orvik::BACnet::DataType
