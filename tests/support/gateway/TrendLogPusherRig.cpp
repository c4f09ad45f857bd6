#include "TrendLogPusherRig.h"

#include <Poco/Environment.h>

using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings;

namespace Orvik::Test
{

namespace
{

Orvik::BACnet::Client::ClientWorker::Settings quickClient()
{
    // A silent device costs a test a few hundred milliseconds, not the real BACnet seconds.
    Orvik::BACnet::Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = 300;
    return settings;
}

Orvik::BACnet::Client::TransactionTable::Settings quickTransactions()
{
    Orvik::BACnet::Client::TransactionTable::Settings settings;
    settings.apduTimeoutMs = 300;
    settings.apduRetries = 1;
    return settings;
}

}  // namespace

TrendLogPusherRig::TrendLogPusherRig(const std::string& databasePath, const std::string& siteText,
                                     Poco::UInt32 gatewayInstance)
    : TrendLogPusherRig(databasePath, std::make_unique<SiteUnderTest>(siteText, false, quickTransactions()),
                        gatewayInstance)
{
    _pServed = static_cast<SiteUnderTest*>(_pNetwork.get());
}

TrendLogPusherRig::TrendLogPusherRig(const std::string& databasePath,
                                     std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork,
                                     Poco::UInt32 gatewayInstance)
    : _database(databasePath), _pNetwork(std::move(pNetwork))
{
    Poco::Environment::set("ZEPTA_SCRIPTS", std::string(ORVIK_SOURCE_DIR) + "/scripts");
    _pWorker =
        std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pNetwork, quickClient());
    _pWorker->start();
    _pManager =
        std::make_unique<Orvik::BACnet::App::AppManager>(1, gatewayInstance, &_managerQueue, &_clientQueue);
}

TrendLogPusherRig::~TrendLogPusherRig()
{
    _pWorker->stop();
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
