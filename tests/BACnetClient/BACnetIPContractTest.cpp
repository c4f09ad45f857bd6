#include "BACnetClient/NetworkContract.h"
#include "BACnetDeviceSimulator.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include <Poco/NumberParser.h>

namespace Orvik::BACnet::Client::Test
{

namespace
{

using Orvik::Test::BACnetDeviceSimulator;

/// BACnet/IP on loopback against the devices of sites/test-network.json, served by the device
/// simulator on an independent BACnet library. Its devices share one simulated LAN: a broadcast sent
/// to any of them reaches all, so the network's broadcast address is one of theirs. The devices are
/// bound statically (a device that the test silences first would never be found by Who-Is), except
/// the missing one, which the network looks for.
class BACnetIPTarget : public NetworkContractTarget
{
public:
    BACnetIPTarget(const TransactionTable::Settings& settings, Clock& clock)
        : _simulator(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json")
    {
        IP::BACnetIPNetwork::Settings ipSettings;
        ipSettings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        ipSettings.broadcast = _simulator.device(_DEVICE_A).address;
        ipSettings.transactions = settings;
        for (const BACnetDeviceSimulator::Device& device : _simulator.devices())
        {
            IP::BACnetIPNetwork::StaticBinding binding;
            binding.deviceInstance = device.instance;
            binding.address = device.address;
            if (device.network != 0)
            {
                binding.remote.setNetworkNumber(device.network);
                binding.remote.setMAC(device.mac.data(), device.mac.size());
            }
            ipSettings.staticBindings.push_back(binding);
        }
        _pNetwork = std::make_unique<IP::BACnetIPNetwork>(ipSettings, clock);
    }

    Network& network() override { return *_pNetwork; }
    void setSilent(Poco::UInt32 deviceInstance, bool silent) override
    {
        _simulator.command("silent " + std::to_string(deviceInstance) + (silent ? " on" : " off"));
    }
    Poco::UInt32 requestCount(Poco::UInt32 deviceInstance) override
    {
        if (deviceInstance == _NO_DEVICE)
            return 0;
        return Poco::NumberParser::parseUnsigned(
            _simulator.command("requests " + std::to_string(deviceInstance)));
    }
    void changeValue(const DataObjectKey& object, float value) override
    {
        _simulator.command("set " + std::to_string(object.deviceInstance) + " " +
                           object.objectIdentifier.toString() + " present-value " + std::to_string(value));
    }

private:
    BACnetDeviceSimulator _simulator;
    std::unique_ptr<IP::BACnetIPNetwork> _pNetwork;
};

/// Without Node and the simulator's modules there is nothing to run against.
std::vector<NetworkContractCase> bacnetIPCases()
{
    if (!BACnetDeviceSimulator::missing().empty())
        return {};
    return {NetworkContractCase{"BACnetIP", [](const TransactionTable::Settings& settings, Clock& clock)
                                { return std::make_unique<BACnetIPTarget>(settings, clock); }}};
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(BACnetIP, NetworkContract, testing::ValuesIn(bacnetIPCases()),
                         [](const testing::TestParamInfo<NetworkContractCase>& info)
                         { return info.param.name; });

}  // namespace Orvik::BACnet::Client::Test
