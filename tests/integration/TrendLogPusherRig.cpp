#include "TrendLogPusherRig.h"

#include <Poco/Environment.h>

using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher;

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
    : _database(databasePath),
      _pSite(Orvik::BACnet::Client::Simulation::SimulatedSite::parse(siteText, "test site"))
{
    Poco::Environment::set("ZEPTA_SCRIPTS", std::string(ORVIK_SOURCE_DIR) + "/scripts");
    _pSite->setTransactionSettings(quickTransactions());
    _pWorker = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pSite, quickClient());
    _pWorker->start();
    _pManager =
        std::make_unique<Orvik::BACnet::App::AppManager>(1, gatewayInstance, &_managerQueue, &_clientQueue);
}

TrendLogPusherRig::~TrendLogPusherRig()
{
    _pWorker->stop();
}

std::unique_ptr<AppTrendLogPusher> TrendLogPusherRig::newPusher() const
{
    return std::make_unique<AppTrendLogPusher>(TrendLogPusherDatabase::_INSTANCE);
}
