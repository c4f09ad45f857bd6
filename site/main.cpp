// orvik-site <site.json> [--bind <address>] [--site-ports] [--broadcast <address:port>]
//            [--without <instance>]...
//
// Serves the devices of a site file on BACnet/IP until SIGINT or SIGTERM. Prints one line per device,
// "device <instance> <address:port>" (behind the router: "... network <n> mac <hex>" with the router's
// address), "router <address:port> networks <n,...>" when there is one, then "ready".
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>
#include <Poco/NumberParser.h>
#include <Poco/String.h>

#include <csignal>
#include <iostream>
#include <string>
#include <vector>

namespace
{

const char* const USAGE =
    "usage: orvik-site <site.json> [--bind <address>] [--site-ports] [--broadcast <address:port>]\n"
    "                  [--without <instance>]...\n"
    "  --bind        address of the devices the site file does not place (default 127.0.0.1)\n"
    "  --site-ports  a device whose MAC is a BACnet/IP address is served there (default: a free port)\n"
    "  --broadcast   where broadcast I-Ams go (default: every I-Am to the asker)\n"
    "  --without     leaves a device of the site out: one that another program serves, such as the\n"
    "                gateway its own (repeatable)\n";

/// What the command line asks for; throws Poco::InvalidArgumentException for anything else.
class Options
{
public:
    Orvik::BACnet::Device::IP::SiteServer::Settings settings;
    std::vector<Poco::UInt32> without;
};

Options optionsOf(const std::vector<std::string>& options)
{
    Options result;
    Orvik::BACnet::Device::IP::SiteServer::Settings& settings = result.settings;
    for (std::size_t i = 0; i < options.size(); ++i)
    {
        const bool hasValue = i + 1 < options.size();
        if (options[i] == "--bind" && hasValue)
            settings.bind = options[++i];
        else if (options[i] == "--broadcast" && hasValue)
            settings.broadcast = Poco::Net::SocketAddress(options[++i]);
        else if (options[i] == "--site-ports")
            settings.freePorts = false;
        else if (options[i] == "--without" && hasValue)
            result.without.push_back(Poco::NumberParser::parseUnsigned(options[++i]));
        else
            throw Poco::InvalidArgumentException("unknown option or missing value: " + options[i]);
    }
    return result;
}

/// A MAC address in hexadecimal.
std::string macText(const Orvik::BACnet::DataType::BACnetAddress& address)
{
    std::string text;
    for (std::size_t i = 0; i < address.getMACLength(); ++i)
        text += Poco::NumberFormatter::formatHex(address.getMAC()[i], 2);
    return Poco::toLower(text);
}

/// Blocks until SIGINT or SIGTERM.
void waitForTermination()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    int received = 0;
    sigwait(&signals, &received);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || std::string(argv[1]) == "--help")
    {
        std::cerr << USAGE;
        return argc < 2 ? 2 : 0;
    }
    // The signals are waited for, not handled: every thread started later inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    try
    {
        const Options options = optionsOf(std::vector<std::string>(argv + 2, argv + argc));
        const std::unique_ptr<Orvik::BACnet::Device::Site> pSite = Orvik::BACnet::Device::Site::load(argv[1]);
        for (Poco::UInt32 instance : options.without)
            pSite->removeDevice(instance);
        Orvik::BACnet::Device::IP::SiteServer server(*pSite, options.settings);
        for (const auto& endpoint : server.endpoints())
        {
            std::cout << "device " << endpoint.instance << " " << endpoint.address.toString();
            if (endpoint.routed)
                std::cout << " network " << endpoint.routed->getNetworkNumber() << " mac "
                          << macText(*endpoint.routed);
            std::cout << "\n";
        }
        if (const auto router = server.routerAddress())
        {
            std::cout << "router " << router->toString() << " networks ";
            const char* separator = "";
            for (Poco::UInt16 network : server.routedNetworks())
            {
                std::cout << separator << network;
                separator = ",";
            }
            std::cout << "\n";
        }
        server.start();
        std::cout << "ready" << std::endl;
        waitForTermination();
        server.stop();
        return 0;
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << "orvik-site: " << e.displayText() << "\n";
        return 1;
    }
}
