#include "GatewayRig.h"

namespace Orvik::Test
{

GatewayRig::GatewayRig(Poco::UInt32 ownDevice) : GatewayRig(ownDevice, std::make_unique<TestDatabase>()) {}

GatewayRig::GatewayRig(Poco::UInt32 ownDevice, std::unique_ptr<TestDatabase> pDb)
    : _ownDevice(ownDevice),
      _pDb(std::move(pDb)),
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
    Orvik::BACnet::TransactionTable::Settings transactions;
    transactions.apduTimeoutMs = waits.apduTimeoutMs;
    transactions.apduRetries = waits.apduRetries;
    auto pServed = std::make_unique<SiteUnderTest>(site, isFile, transactions);
    startClient(pServed->network(), waits);
    _pServed = std::move(pServed);  // the former site ends after the worker that served it
}

void GatewayRig::serveNetwork(std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, const Waits& waits)
{
    startClient(*pNetwork, waits);
    _pServed.reset();
    _pNetwork = std::move(pNetwork);
}

void GatewayRig::startClient(Orvik::BACnet::Client::Network& network, const Waits& waits)
{
    if (_pClient)
    {
        _pClient->stop();
    }
    Orvik::BACnet::Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = waits.whoIsWindowMs;
    _pClient = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, network, settings);
    _pClient->start();
}

Poco::Int32 GatewayRig::addInstance(Poco::Int32 idApApp, const Values& values)
{
    const Poco::Int32 instance = _pDb->addInstance(
        idApApp,
        static_cast<Poco::Int32>(_pDb->queryInt("SELECT COUNT(*)+1 FROM ap_app_instance WHERE id_ap_app=" +
                                                std::to_string(idApApp))),
        false);
    for (const auto& [property, text] : values)
    {
        _pDb->storeValue(instance, property, text);
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
