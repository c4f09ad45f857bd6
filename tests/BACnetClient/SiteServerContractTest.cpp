#include "BACnetClient/NetworkContract.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"
#include "Orvik_BACnetDevice/Site.h"

namespace Orvik::BACnet::Client::Test
{

namespace
{

/// BACnet/IP on loopback against the devices of sites/test-network.json, served by orvik-site's server
/// on free ports: our client and our server over the wire. The devices are bound statically (a device
/// that the test silences first would never be found by Who-Is), except the missing one, which the
/// network looks for with broadcasts to the server's simulated LAN.
class SiteServerTarget : public NetworkContractTarget
{
public:
    SiteServerTarget(const TransactionTable::Settings& settings, Clock& clock)
        : _pSite(Device::Site::load(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json")),
          _server(*_pSite, Device::IP::SiteServer::Settings())
    {
        IP::BACnetIPNetwork::Settings ipSettings;
        ipSettings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        ipSettings.broadcast = _server.endpoints().front().address;
        ipSettings.transactions = settings;
        for (const Device::IP::SiteServer::Endpoint& endpoint : _server.endpoints())
        {
            IP::BACnetIPNetwork::StaticBinding binding;
            binding.deviceInstance = endpoint.instance;
            binding.address = endpoint.address;
            if (endpoint.routed)
                binding.remote = *endpoint.routed;
            ipSettings.staticBindings.push_back(binding);
        }
        _pNetwork = std::make_unique<IP::BACnetIPNetwork>(ipSettings, clock);
        _server.start();
    }

    Network& network() override { return *_pNetwork; }
    void setSilent(Poco::UInt32 deviceInstance, bool silent) override
    {
        _pSite->setSilent(deviceInstance, silent);
    }
    Poco::UInt32 requestCount(Poco::UInt32 deviceInstance) override
    {
        return deviceInstance == _NO_DEVICE ? 0 : _pSite->getRequestCount(deviceInstance);
    }
    void changeValue(const DataObjectKey& object, float value) override
    {
        ValueContainer real;
        real.setReal(value);
        std::vector<Device::COVDelivery> notifications;
        _pSite->changeValue(object.deviceInstance, object.objectIdentifier, real, notifications);
        _server.deliver(notifications);
    }

private:
    std::unique_ptr<Device::Site> _pSite;
    Device::IP::SiteServer _server;
    std::unique_ptr<IP::BACnetIPNetwork> _pNetwork;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(SiteServer, NetworkContract,
                         testing::Values(NetworkContractCase{
                             "BACnetIPAgainstOrvikSite",
                             [](const TransactionTable::Settings& settings, Clock& clock)
                             { return std::make_unique<SiteServerTarget>(settings, clock); }}),
                         [](const testing::TestParamInfo<NetworkContractCase>& info)
                         { return info.param.name; });

}  // namespace Orvik::BACnet::Client::Test
