#pragma once

#include "Orvik_BACnet/TransactionTable.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "PacketCapture.h"

#include <memory>
#include <string>

namespace Orvik::Test
{

/// The site of an apps' suite test, served where the environment variable ORVIK_TEST_SERVER says, so that
/// the same suites prove the apps over the wire:
///   - unset or "simulated": the in-process simulated network (SimulatedSite), as the unit tests use it;
///   - "orvik-site": the same devices on BACnet/IP on the loopback, served by orvik-site's server
///     (Device::IP::SiteServer, in this process) and reached through our BACnet/IP client. site() steers
///     the served model as before (faults, silence, delays, clock steps, what the site holds); only
///     SimulatedSite::changeValue's notifications stay off the wire.
/// On the wire, with ORVIK_TEST_CAPTURE set and dumpcap and tshark at hand, the site's traffic is captured
/// and judged by Wireshark's BACnet dissector when the site ends: a malformed packet or an expert error
/// fails the test.
class SiteUnderTest
{
public:
    enum class Server
    {
        SIMULATED,
        ORVIK_SITE
    };

    /// The server ORVIK_TEST_SERVER names; throws Poco::InvalidArgumentException for an unknown name.
    static Server chosen();

    /// Serves the site file `site` (its text, or with `isFile` its path) with these transaction settings.
    /// Throws what loading the site or starting the server throws.
    SiteUnderTest(const std::string& site, bool isFile,
                  const BACnet::TransactionTable::Settings& transactions);
    ~SiteUnderTest();

    /// The served site.
    BACnet::Client::Simulation::SimulatedSite& site() { return *_pSite; }

    /// The network the client worker serves: the simulated site itself, or our BACnet/IP network.
    BACnet::Client::Network& network() { return *_pNetwork; }

private:
    void connect(const Poco::Net::SocketAddress& broadcast, const std::vector<Poco::UInt16>& ports,
                 const BACnet::TransactionTable::Settings& transactions);

    std::unique_ptr<BACnet::Client::Simulation::SimulatedSite> _pSite;
    std::unique_ptr<BACnet::Device::IP::SiteServer> _pServer;
    std::unique_ptr<PacketCapture> _pCapture;
    /// The network the worker serves: _pSite itself, or our BACnet/IP network.
    std::unique_ptr<BACnet::Client::Network> _pIPNetwork;
    BACnet::Client::Network* _pNetwork = nullptr;
};

}  // namespace Orvik::Test
