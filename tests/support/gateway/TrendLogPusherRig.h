#pragma once

#include <Poco/NotificationQueue.h>

#include <memory>
#include <string>

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"
#include "SiteUnderTest.h"
#include "TrendLogPusherDatabase.h"

namespace Orvik::Test
{

/// A gateway that runs the trend log pusher, made of real parts: its configuration database (an
/// SQLite file), a simulated BACnet site served by the BACnet client worker, and the app manager that
/// the apps reach through AppBase (its client queue and own device instance). The manager is not run:
/// the caller drives the pusher's cycle directly, on its own thread. The host's scripts folder
/// (ZEPTA_SCRIPTS) is the repository's scripts/.
class TrendLogPusherRig
{
public:
    /// `databasePath` is opened or created (TrendLogPusherDatabase); `siteText` is a site file's text,
    /// served where ORVIK_TEST_SERVER says (SiteUnderTest);
    /// `gatewayInstance` is the gateway's own device instance.
    TrendLogPusherRig(const std::string& databasePath, const std::string& siteText,
                      Poco::UInt32 gatewayInstance);
    /// The same gateway on another network (BACnet/IP); site() is not available then.
    TrendLogPusherRig(const std::string& databasePath,
                      std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, Poco::UInt32 gatewayInstance);
    ~TrendLogPusherRig();

    TrendLogPusherDatabase& database() { return _database; }
    Orvik::BACnet::Client::Simulation::SimulatedSite& site() { return _pServed->site(); }

    /// Waits short enough for a test: no start delay, a few seconds for the FTP server.
    static Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings quickTimings();

    /// A new pusher of the configured instance (what the manager would start), with `timings`.
    std::unique_ptr<Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher> newPusher(
        const Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings& timings =
            quickTimings()) const;

private:
    TrendLogPusherDatabase _database;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;
    SiteUnderTest* _pServed = nullptr;  ///< _pNetwork when it is one
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pWorker;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
};

}  // namespace Orvik::Test
