#pragma once

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
    /// `databasePath` is opened or created; `siteText` is a site file's text, served where
    /// ORVIK_TEST_SERVER says (SiteUnderTest); `gatewayInstance` is the gateway's own device instance.
    TrendLogPusherRig(const std::string& databasePath, const std::string& siteText,
                      Poco::UInt32 gatewayInstance);
    /// The same gateway on another network (BACnet/IP); site() is not available then.
    TrendLogPusherRig(const std::string& databasePath,
                      std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, Poco::UInt32 gatewayInstance);

    TrendLogPusherDatabase& database() { return static_cast<TrendLogPusherDatabase&>(db()); }

    /// Waits short enough for a test: no start delay, a few seconds for the FTP server.
    static Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings quickTimings();

    /// A new pusher of the configured instance (what the manager would start), with `timings`.
    std::unique_ptr<Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher> newPusher(
        const Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings& timings =
            quickTimings()) const;

    static constexpr GatewayWaits _WAITS{300, 1, 300};

private:
    TrendLogPusherRig(const std::string& databasePath, Poco::UInt32 gatewayInstance);
};

}  // namespace Orvik::Test
