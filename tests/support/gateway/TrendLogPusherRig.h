#pragma once

#include <Poco/Environment.h>

#include <memory>
#include <string>

#include "GatewayRig.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"
#include "TrendLogPusherDatabase.h"

namespace Orvik::Test
{

/// A gateway that runs the trend log pusher: a GatewayRig (console captured, the manager idle, the caller
/// drives the pusher's cycle on its own thread) on a TrendLogPusherDatabase in a file, so that a restarted
/// gateway or another process finds what was stored. The network gives up on a request after two tries
/// of 300 ms. The host's scripts folder (ZEPTA_SCRIPTS) is the repository's scripts/.
class TrendLogPusherRig : public GatewayRig
{
public:
    using AppTrendLogPusher = Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher;
    using DataPusherTimings = Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings;

    /// `databasePath` is opened or created; `siteText` is a site file's text, served where
    /// ORVIK_TEST_SERVER says (SiteUnderTest); `gatewayInstance` is the gateway's own device instance.
    TrendLogPusherRig(const std::string& databasePath, const std::string& siteText,
                      Poco::UInt32 gatewayInstance)
        : TrendLogPusherRig(databasePath, gatewayInstance)
    {
        serveSiteText(siteText, {300, 1, 300});
    }
    /// The same gateway on another network (BACnet/IP); site() is not available then.
    TrendLogPusherRig(const std::string& databasePath,
                      std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, Poco::UInt32 gatewayInstance)
        : TrendLogPusherRig(databasePath, gatewayInstance)
    {
        serveNetwork(std::move(pNetwork), {300, 1, 300});
    }

    TrendLogPusherDatabase& database() { return static_cast<TrendLogPusherDatabase&>(db()); }

    /// Waits short enough for a test: no start delay, a few seconds for the FTP server.
    static DataPusherTimings quickTimings()
    {
        DataPusherTimings timings;
        timings.startDelayMs = 0;
        timings.ftpConnectTimeoutMs = 5000;
        timings.ftpSessionTimeoutMs = 5000;
        return timings;
    }

    /// A new pusher of the configured instance (what the manager would start), with `timings`.
    std::unique_ptr<AppTrendLogPusher> newPusher(const DataPusherTimings& timings = quickTimings()) const
    {
        return std::make_unique<AppTrendLogPusher>(TrendLogPusherDatabase::_INSTANCE, timings);
    }

private:
    TrendLogPusherRig(const std::string& databasePath, Poco::UInt32 gatewayInstance)
        : GatewayRig(gatewayInstance, std::make_unique<TrendLogPusherDatabase>(databasePath))
    {
        Poco::Environment::set("ZEPTA_SCRIPTS", std::string(ORVIK_SOURCE_DIR) + "/scripts");
    }
};

}  // namespace Orvik::Test
