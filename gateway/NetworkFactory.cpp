#include "NetworkFactory.h"

#include <Poco/Exception.h>
#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>

#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/Site.h"

namespace Orvik::Gateway
{

namespace
{

using Orvik::BACnet::Client::IP::BACnetIPNetwork;

const Poco::UInt16 BACNET_IP_PORT = 47808;
const unsigned MAX_INSTANCE = 4194302;
const unsigned MAX_NETWORK = 65534;
/// More than a field bus behind one router could use: each device takes one request at a time anyway.
const unsigned MAX_ROUTER_NETWORK_LIMIT = 255;

unsigned parseNumber(const std::string& option, const std::string& text, const std::string& what,
                     unsigned low, unsigned high)
{
    unsigned value = 0;
    if (text.find_first_not_of("0123456789") != std::string::npos ||
        !Poco::NumberParser::tryParseUnsigned(text, value) || value < low || value > high)
    {
        throw Poco::InvalidArgumentException("--" + option + ": " + what + " is a number from " +
                                             std::to_string(low) + " to " + std::to_string(high) + ": " +
                                             text);
    }
    return value;
}

/// "requests" for every network behind a router, "network=requests" for one.
void routerNetworkLimit(const std::string& text, BACnetIPNetwork::Settings& settings)
{
    const std::string option = "router-network-limit";
    const std::size_t equals = text.find('=');
    const std::string requests = equals == std::string::npos ? text : text.substr(equals + 1);
    const Poco::UInt32 limit = parseNumber(option, requests, "the requests", 1, MAX_ROUTER_NETWORK_LIMIT);
    if (equals == std::string::npos)
        settings.maxOutstandingPerRouterNetwork = limit;
    else
        settings.maxOutstandingOnNetwork[static_cast<Poco::UInt16>(
            parseNumber(option, text.substr(0, equals), "the network", 1, MAX_NETWORK))] = limit;
}

}  // namespace

Poco::Net::SocketAddress NetworkFactory::address(const std::string& option, const std::string& text,
                                                 const std::string& defaultAddress)
{
    const std::size_t colon = text.rfind(':');
    const std::string host = colon == std::string::npos ? text : text.substr(0, colon);
    const Poco::UInt16 port =
        colon == std::string::npos
            ? BACNET_IP_PORT
            : static_cast<Poco::UInt16>(parseNumber(option, text.substr(colon + 1), "the port", 0, 65535));
    try
    {
        const Poco::Net::SocketAddress address(host.empty() ? defaultAddress : host, port);
        if (address.family() != Poco::Net::SocketAddress::IPv4)
            throw Poco::InvalidArgumentException("not an IPv4 address");
        return address;
    }
    catch (const Poco::Exception& e)
    {
        throw Poco::InvalidArgumentException("--" + option + ": not an address[:port]: " + text + " (" +
                                             e.message() + ")");
    }
}

BACnetIPNetwork::StaticBinding NetworkFactory::staticDevice(const std::string& text)
{
    const std::string option = "bacnet-device";
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos)
        throw Poco::InvalidArgumentException("--" + option +
                                             ": not instance=address[:port][/network/mac]: " + text);
    BACnetIPNetwork::StaticBinding binding;
    binding.deviceInstance =
        parseNumber(option, text.substr(0, equals), "the device instance", 0, MAX_INSTANCE);
    const Poco::StringTokenizer parts(text.substr(equals + 1), "/");
    if (parts.count() != 1 && parts.count() != 3)
        throw Poco::InvalidArgumentException("--" + option +
                                             ": not instance=address[:port][/network/mac]: " + text);
    binding.address = address(option, parts[0], "");
    if (parts.count() == 3)
    {
        binding.remote.setNetworkNumber(
            static_cast<Poco::UInt16>(parseNumber(option, parts[1], "the network", 1, MAX_NETWORK)));
        if (parts[2].empty() || !binding.remote.setMAC(parts[2]))
            throw Poco::InvalidArgumentException("--" + option + ": not a MAC address: " + parts[2]);
    }
    return binding;
}

BACnetIPNetwork::Settings NetworkFactory::ipSettings(const IPOptions& options)
{
    BACnetIPNetwork::Settings settings;
    settings.local = address("bacnet-ip", options.local, "0.0.0.0");
    if (!options.broadcast.empty())
        settings.broadcast = address("bacnet-broadcast", options.broadcast, "");
    if (!options.bbmd.empty())
        settings.bbmd = address("bbmd", options.bbmd, "");
    if (!options.bbmdTimeToLive.empty())
    {
        settings.bbmdTimeToLiveSeconds = static_cast<Poco::UInt16>(
            parseNumber("bbmd-ttl", options.bbmdTimeToLive, "the time-to-live", 1, 65535));
    }
    for (const std::string& device : options.devices)
        settings.staticBindings.push_back(staticDevice(device));
    for (const std::string& limit : options.routerNetworkLimits)
        routerNetworkLimit(limit, settings);
    return settings;
}

std::unique_ptr<Orvik::BACnet::Client::Network> NetworkFactory::make(
    const DataGatewaySettings& settings, Poco::UInt32 ownDeviceInstance,
    std::shared_ptr<Orvik::BACnet::Device::LogStore> pStore)
{
    if (!settings.bacnetIP)
        return Orvik::BACnet::Client::Simulation::SimulatedSite::load(settings.networkFile);
    BACnetIPNetwork::Settings ipSettings = *settings.bacnetIP;
    ipSettings.ownDeviceInstance = ownDeviceInstance;
    ipSettings.ownDevice = Orvik::BACnet::Device::Site::loadOwnDevice(settings.localDeviceFile,
                                                                      ownDeviceInstance, std::move(pStore));
    return std::make_unique<BACnetIPNetwork>(ipSettings);
}

std::string NetworkFactory::describe(const DataGatewaySettings& settings)
{
    if (!settings.bacnetIP)
        return "simulated site " + settings.networkFile;
    std::string text = "BACnet/IP on " + settings.bacnetIP->local.toString() + ", own device from " +
                       settings.localDeviceFile;
    if (settings.bacnetIP->bbmd)
    {
        text += ", foreign device of the BBMD " + settings.bacnetIP->bbmd->toString() + " (time-to-live " +
                std::to_string(settings.bacnetIP->bbmdTimeToLiveSeconds) + " s)";
    }
    if (!settings.bacnetIP->staticBindings.empty())
        text +=
            ", " + std::to_string(settings.bacnetIP->staticBindings.size()) + " device(s) bound by option";
    return text;
}

}  // namespace Orvik::Gateway
