#pragma once

#include "BACnetDeviceSimulator.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include <memory>

namespace Orvik::Test
{

/// Our BACnet/IP network set up to talk to a BACnetDeviceSimulator on the loopback: a free port of
/// 127.0.0.1 (never 47808, which the peer library ignores as a sender), broadcasts sent to one endpoint
/// of the simulator (every endpoint of it hears a broadcast for all its devices, routed ones too), and
/// time-outs short enough that a lost datagram costs a test a fraction of a second.
class InteropNetwork
{
public:
    static BACnet::Client::IP::BACnetIPNetwork::Settings settings(const BACnetDeviceSimulator& simulator,
                                                                  Poco::UInt32 apduTimeoutMs = 500,
                                                                  Poco::UInt32 apduRetries = 2)
    {
        BACnet::Client::IP::BACnetIPNetwork::Settings settings;
        settings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        settings.broadcast = simulator.devices().front().address;
        settings.transactions.apduTimeoutMs = apduTimeoutMs;
        settings.transactions.apduRetries = apduRetries;
        settings.transactions.segmentTimeoutMs = apduTimeoutMs;
        return settings;
    }

    static std::unique_ptr<BACnet::Client::IP::BACnetIPNetwork> make(const BACnetDeviceSimulator& simulator)
    {
        return std::make_unique<BACnet::Client::IP::BACnetIPNetwork>(settings(simulator));
    }
};

}  // namespace Orvik::Test
