#include "TrendLogPusherRig.h"

#include <Poco/Environment.h>

using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings;

namespace Orvik::Test
{

TrendLogPusherRig::TrendLogPusherRig(const std::string& databasePath, Poco::UInt32 gatewayInstance)
    : GatewayRig(gatewayInstance, std::make_unique<TrendLogPusherDatabase>(databasePath))
{
    Poco::Environment::set("ZEPTA_SCRIPTS", std::string(ORVIK_SOURCE_DIR) + "/scripts");
}

TrendLogPusherRig::TrendLogPusherRig(const std::string& databasePath, const std::string& siteText,
                                     Poco::UInt32 gatewayInstance)
    : TrendLogPusherRig(databasePath, gatewayInstance)
{
    serveSiteText(siteText, _WAITS);
}

TrendLogPusherRig::TrendLogPusherRig(const std::string& databasePath,
                                     std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork,
                                     Poco::UInt32 gatewayInstance)
    : TrendLogPusherRig(databasePath, gatewayInstance)
{
    serveNetwork(std::move(pNetwork), _WAITS);
}

DataPusherTimings TrendLogPusherRig::quickTimings()
{
    DataPusherTimings timings;
    timings.startDelayMs = 0;
    timings.ftpConnectTimeoutMs = 5000;
    timings.ftpSessionTimeoutMs = 5000;
    return timings;
}

std::unique_ptr<AppTrendLogPusher> TrendLogPusherRig::newPusher(const DataPusherTimings& timings) const
{
    return std::make_unique<AppTrendLogPusher>(TrendLogPusherDatabase::_INSTANCE, timings);
}

}  // namespace Orvik::Test
