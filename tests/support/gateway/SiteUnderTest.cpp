#include "SiteUnderTest.h"

#include "BACnetClient/InteropNetwork.h"

#include <gtest/gtest.h>

#include <Poco/Environment.h>
#include <Poco/Exception.h>

#include <algorithm>

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
    judgeCapture();
}

void SiteUnderTest::connect(const Poco::Net::SocketAddress& broadcast, std::vector<Poco::UInt16> ports,
                            const BACnet::TransactionTable::Settings& transactions)
{
    if (Poco::Environment::has("ORVIK_TEST_CAPTURE") && PacketCapture::missing().empty())
    {
        std::sort(ports.begin(), ports.end());
        ports.erase(std::unique(ports.begin(), ports.end()), ports.end());
        _pCapture = std::make_unique<PacketCapture>(ports);
    }
    auto settings = InteropNetwork::settings(broadcast);
    settings.transactions = transactions;
    _pIPNetwork = std::make_unique<BACnet::Client::IP::BACnetIPNetwork>(settings);
    _pNetwork = _pIPNetwork.get();
}

void SiteUnderTest::judgeCapture()
{
    if (!_pCapture)
        return;
    const PacketCapture::Report report = _pCapture->analyse();
    EXPECT_EQ(report.bacnet, report.packets) << "datagrams on the BACnet ports that are not BACnet/IP";
    for (const std::string& problem : report.problems)
        ADD_FAILURE() << "dissector: " << problem;
}

}  // namespace Orvik::Test
