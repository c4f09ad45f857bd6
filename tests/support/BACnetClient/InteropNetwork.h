#pragma once

#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"

#include <memory>

namespace Orvik::Test
{

/// Our BACnet/IP network set up to talk to a server on the loopback (orvik-site's server): a free port of
/// 127.0.0.1 (never 47808, which the peer library ignores as a sender), broadcasts sent to one endpoint of
/// the server (every endpoint hears a broadcast for all its devices), and time-outs short enough that a lost
/// datagram costs a test a fraction of a second.
class InteropNetwork
{
public:
    static BACnet::Client::IP::BACnetIPNetwork::Settings settings(const Poco::Net::SocketAddress& broadcast,
                                                                  Poco::UInt32 apduTimeoutMs = 500,
                                                                  Poco::UInt32 apduRetries = 2)
    {
        BACnet::Client::IP::BACnetIPNetwork::Settings settings;
        settings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        settings.broadcast = broadcast;
        settings.transactions.apduTimeoutMs = apduTimeoutMs;
        settings.transactions.apduRetries = apduRetries;
        settings.transactions.segmentTimeoutMs = apduTimeoutMs;
        return settings;
    }

    static std::unique_ptr<BACnet::Client::IP::BACnetIPNetwork> make(
        const Poco::Net::SocketAddress& broadcast)
    {
        return std::make_unique<BACnet::Client::IP::BACnetIPNetwork>(settings(broadcast));
    }
};

}  // namespace Orvik::Test
