#include "GatewayRig.h"

namespace Orvik::Test
{

GatewayRig::GatewayRig(Poco::UInt32 ownDevice)
    : _ownDevice(ownDevice),
      _pManager(std::make_unique<Orvik::BACnet::App::AppManager>(TestDatabase::_CONTROLLER, ownDevice,
                                                                 &_managerQueue, &_clientQueue))
{
}

GatewayRig::~GatewayRig()
{
    stopManager();
    _pManager.reset();
    if (_pClient)
    {
        _pClient->stop();
    }
}

void GatewayRig::serveSite(const std::string& fileName, const Waits& waits)
{
    serve(ORVIK_SOURCE_DIR "/sites/" + fileName, true, waits);
}

void GatewayRig::serveSiteText(const std::string& text, const Waits& waits)
{
    serve(text, false, waits);
}

void GatewayRig::serve(const std::string& site, bool isFile, const Waits& waits)
{
    Orvik::BACnet::Client::TransactionTable::Settings transactions;
    transactions.apduTimeoutMs = waits.apduTimeoutMs;
    transactions.apduRetries = waits.apduRetries;
    auto pServed = std::make_unique<SiteUnderTest>(site, isFile, transactions);
    SiteUnderTest* pSite = pServed.get();
    serveNetwork(std::move(pServed), waits);
    _pServed = pSite;
}

void GatewayRig::serveNetwork(std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, const Waits& waits)
{
    if (_pClient)
    {
        _pClient->stop();
    }
    _pServed = nullptr;
    _pNetwork = std::move(pNetwork);
    Orvik::BACnet::Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = waits.whoIsWindowMs;
    _pClient = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pNetwork, settings);
    _pClient->start();
}

Poco::Int32 GatewayRig::addInstance(Poco::Int32 idApApp, const Values& values)
{
    const Poco::Int32 instance = _db.addInstance(
        idApApp,
        static_cast<Poco::Int32>(_db.queryInt("SELECT COUNT(*)+1 FROM ap_app_instance WHERE id_ap_app=" +
                                              std::to_string(idApApp))),
        false);
    for (const auto& [property, text] : values)
    {
        _db.storeValue(instance, property, text);
    }
    return instance;
}

void GatewayRig::requestStop(Orvik::BACnet::App::AppBase& app)
{
    app.getReadQueue()->enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
}

void GatewayRig::startManager(const Orvik::BACnet::App::AppManager::AppTypeTable& appTypes)
{
    _pManager.reset();  // the idle one first: a manager registers itself with the apps while it lives
    _pManager = std::make_unique<Orvik::BACnet::App::AppManager>(TestDatabase::_CONTROLLER, _ownDevice,
                                                                 &_managerQueue, &_clientQueue, appTypes);
    _managerThread.start(*_pManager);
}

bool GatewayRig::stopManager(long timeoutMs)
{
    if (!_managerThread.isRunning())
    {
        return true;
    }
    _managerQueue.enqueueUrgentNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    return _managerThread.tryJoin(timeoutMs);
}

}  // namespace Orvik::Test
