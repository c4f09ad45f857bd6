#include "SiteUnderTest.h"

#include "BACnetClient/InteropNetwork.h"

#include <Poco/Environment.h>
#include <Poco/Exception.h>

namespace Orvik::Test
{

SiteUnderTest::Server SiteUnderTest::chosen()
{
    const std::string name = Poco::Environment::get("ORVIK_TEST_SERVER", "");
    if (name.empty() || name == "simulated")
        return Server::SIMULATED;
    if (name == "orvik-site")
        return Server::ORVIK_SITE;
    throw Poco::InvalidArgumentException("ORVIK_TEST_SERVER is simulated or orvik-site, not " + name);
}

SiteUnderTest::SiteUnderTest(const std::string& site, bool isFile,
                             const BACnet::TransactionTable::Settings& transactions)
{
    _pSite = isFile ? BACnet::Client::Simulation::SimulatedSite::load(site)
                    : BACnet::Client::Simulation::SimulatedSite::parse(site, "test site");
    if (chosen() == Server::SIMULATED)
    {
        _pSite->setTransactionSettings(transactions);
        _pNetwork = _pSite.get();
        return;
    }
    // The site's model answers on the wire; the simulated network around it is never opened, so its
    // operations for tests steer what the server serves.
    _pServer = std::make_unique<BACnet::Device::IP::SiteServer>(_pSite->getSite(),
                                                                BACnet::Device::IP::SiteServer::Settings());
    std::vector<Poco::UInt16> ports;
    for (const auto& endpoint : _pServer->endpoints())
        ports.push_back(endpoint.address.port());
    connect(_pServer->endpoints().front().address, ports, transactions);
    _pServer->start();
}

SiteUnderTest::~SiteUnderTest()
{
    _pIPNetwork.reset();
    if (_pServer)
        _pServer->stop();
    if (_pCapture)
        _pCapture->judge();
}

void SiteUnderTest::connect(const Poco::Net::SocketAddress& broadcast, const std::vector<Poco::UInt16>& ports,
                            const BACnet::TransactionTable::Settings& transactions)
{
    if (Poco::Environment::has("ORVIK_TEST_CAPTURE") && PacketCapture::missing().empty())
        _pCapture = std::make_unique<PacketCapture>(ports);
    auto settings = InteropNetwork::settings(broadcast);
    settings.transactions = transactions;
    _pIPNetwork = std::make_unique<BACnet::Client::IP::BACnetIPNetwork>(settings);
    _pNetwork = _pIPNetwork.get();
}

}  // namespace Orvik::Test
