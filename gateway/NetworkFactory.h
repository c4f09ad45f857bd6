#pragma once

#include <Poco/Net/SocketAddress.h>
#include <Poco/Types.h>

#include <memory>
#include <string>
#include <vector>

#include "DataGatewaySettings.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetDevice/LogStore.h"

namespace Orvik::Gateway
{

/// The gateway's BACnet network, as its options name it: the simulated site of a site file
/// (--network), or BACnet/IP (--bacnet-ip, with --bacnet-broadcast, --bbmd, --bbmd-ttl,
/// --bacnet-device and --router-network-limit). On BACnet/IP the gateway's own device is the one device
/// of the --local-device site file (Site::loadOwnDevice), which the network serves itself.
///
/// The option texts are read here; each function throws Poco::InvalidArgumentException naming the
/// option and the text it cannot use.
class NetworkFactory
{
public:
    /// The texts of the BACnet/IP options; empty: not given.
    struct IPOptions
    {
        std::string local;
        std::string broadcast;
        std::string bbmd;
        std::string bbmdTimeToLive;
        std::vector<std::string> devices;
        std::vector<std::string> routerNetworkLimits;
    };

    static Orvik::BACnet::Client::IP::BACnetIPNetwork::Settings ipSettings(const IPOptions& options);

    /// "address[:port]": an IPv4 address or host name, the port `defaultPort` unless given; an empty
    /// address stands for `defaultAddress`.
    static Poco::Net::SocketAddress address(const std::string& option, const std::string& text,
                                            const std::string& defaultAddress);

    /// "instance=address[:port]" for a device on IP, "instance=router-address[:port]/network/mac" for a
    /// device behind a router (mac in hexadecimal, or as address:port for a B/IP device).
    static Orvik::BACnet::Client::IP::BACnetIPNetwork::StaticBinding staticDevice(const std::string& text);

    /// The network of `settings`. On BACnet/IP the gateway's own device `ownDeviceInstance` is the one
    /// of settings.localDeviceFile, served by the network itself; its recorded trend logs keep their
    /// records in `pStore`. Throws what loading a site file throws.
    static std::unique_ptr<Orvik::BACnet::Client::Network> make(
        const DataGatewaySettings& settings, Poco::UInt32 ownDeviceInstance,
        std::shared_ptr<Orvik::BACnet::Device::LogStore> pStore);

    /// One line for the log: which network, where.
    static std::string describe(const DataGatewaySettings& settings);
};

}  // namespace Orvik::Gateway
