#pragma once

#include <Poco/Types.h>

#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSftpSettings.h"

#include <optional>
#include <string>

namespace Orvik::Gateway
{

/// What the gateway program was told on its command line, with the demo's defaults filled in.
struct DataGatewaySettings
{
    /// The configuration database; created from the schema (and, in the demo, the demo
    /// configuration) when it does not exist.
    std::string databasePath;
    /// Where the supervisor writes the gateway's status (StatusFile::pathFor the database).
    std::string statusFile;
    /// The controller whose apps run (ap_app_instance.id_dv_controller).
    Poco::Int32 controllerId = 1;
    /// The host's own BACnet server device; empty: taken from the database.
    std::optional<Poco::UInt32> deviceInstance;
    /// The BACnet network, exactly one of: a site file of the simulated network, or BACnet/IP.
    std::string networkFile;
    std::optional<Orvik::BACnet::Client::IP::BACnetIPNetwork::Settings> bacnetIP;
    /// On BACnet/IP: the description of the gateway's own device (a site file; its device, or the one
    /// with the own instance, becomes the own device).
    std::string localDeviceFile;
    /// The CA certificates that FTPS servers' certificates must chain to; empty: the system's trust store.
    std::string ftpsCaFile;
    /// How SFTP servers' host keys are checked and the key the pushers log in with.
    Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataSftpSettings sftp;
    /// The built-in demo: demo configuration and demo site unless given otherwise.
    bool demo = false;
    /// The pause of the apps that wait at their start (AppRP_OneShot, AppRR, AppTrendLogPusher); empty:
    /// their own (3 s, 2 s and 5 s).
    std::optional<long> startPauseMs;
};

}  // namespace Orvik::Gateway
