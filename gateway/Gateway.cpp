#include "Gateway.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/Process.h>

#include "NetworkFactory.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"
#include "Orvik_ZARoveDore/Demo/AppRR.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"
#include "PrivateFile.h"

namespace Orvik::Gateway
{

const Poco::Timespan Gateway::_STATUS_INTERVAL(10, 0);

Gateway::Gateway(const DataGatewaySettings& settings, const std::vector<std::string>& creationScripts,
                 const std::string& catalogueScript, Poco::Logger& log)
    : _settings(settings),
      _creationScripts(creationScripts),
      _catalogueScript(catalogueScript),
      _log(log),
      _managerRunnable(*this, &Gateway::runManager),
      _managerThread("AppManager")
{
}

Gateway::~Gateway()
{
    stop();
}

void Gateway::start()
{
    openDatabase();
    const Poco::UInt32 deviceInstance = ownDeviceInstance();
    startNetwork(deviceInstance);
    startManager(deviceInstance);
    startSupervision();
}

void Gateway::startSupervision()
{
    // systemd wants a keep-alive within its period; two rounds per period leave one to spare.
    const Poco::Timespan period = _notifier.watchdogPeriod();
    const Poco::Timespan interval =
        period > 0 ? Poco::Timespan(period.totalMicroseconds() / 2) : _STATUS_INTERVAL;
    _pStatusFile = std::make_unique<StatusFile>(_settings.statusFile);
    _pSupervisor = std::make_unique<Supervisor>(
        _managerQueue, _clientQueue, _notifier, *_pStatusFile, _log, interval,
        period > 0 ? period : Poco::Timespan(3 * _STATUS_INTERVAL.totalMicroseconds()));
    if (_pRecorder)
        _pSupervisor->watch(_pRecorder->queue(), "trend log recorder");
    _pSupervisor->start();
    _notifier.notify("READY=1");
    if (period > 0)
        _log.information("Supervision: keep-alives to the service manager every " +
                         std::to_string(interval.totalMilliseconds()) + " ms while every worker answers");
}

void Gateway::openDatabase()
{
    _pDatabase =
        std::make_unique<ConfigurationDatabase>(_settings.databasePath, _creationScripts, _catalogueScript);
    _log.information(std::string(_pDatabase->wasCreated() ? "Created" : "Opened") +
                     " configuration database " + _settings.databasePath);
    if (_pDatabase->catalogueRowsAdded() > 0)
        _log.information("The configuration database gained " +
                         std::to_string(_pDatabase->catalogueRowsAdded()) +
                         " app and parameter definition(s) of this version");
    if (!_pDatabase->knowsController(_settings.controllerId))
    {
        throw Poco::NotFoundException("Unknown controller " + std::to_string(_settings.controllerId) +
                                      ": the configuration database " + _settings.databasePath +
                                      " has no such controller");
    }
}

Poco::UInt32 Gateway::ownDeviceInstance() const
{
    if (_settings.deviceInstance)
    {
        return *_settings.deviceInstance;
    }
    const std::optional<Poco::UInt32> instance = _pDatabase->ownDeviceInstance(_settings.controllerId);
    if (!instance)
    {
        throw Poco::NotFoundException("The configuration database names no own BACnet device of controller " +
                                      std::to_string(_settings.controllerId) + ": give --device-instance");
    }
    return *instance;
}

void Gateway::startNetwork(Poco::UInt32 deviceInstance)
{
    openLogStore();
    _pNetwork = NetworkFactory::make(_settings, deviceInstance, _pLogStore);
    _log.information("BACnet network: " + NetworkFactory::describe(_settings));
    if (const auto* pIP = dynamic_cast<const Orvik::BACnet::Client::IP::BACnetIPNetwork*>(_pNetwork.get()))
    {
        // Where site tools find the gateway (the port is known only now when the option asked for a free
        // one).
        _log.information("Own BACnet device " + std::to_string(deviceInstance) + " answers at " +
                         pIP->localAddress().toString());
    }
    _pClient = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pNetwork);
    _pClient->start();
    startRecorder();
}

void Gateway::openLogStore()
{
    if (!_settings.bacnetIP)
        return;
    Poco::Path path(_settings.databasePath);
    path.setFileName(path.getBaseName() + ".trend-logs.db");
    // Born the owner's only: the records are the site's data.
    if (!Poco::File(path).exists())
        PrivateFile::create(path.toString());
    _pLogStore = std::make_shared<Orvik::BACnet::Device::LogStore>(path.toString());
}

void Gateway::startRecorder()
{
    if (!_pLogStore || _pLogStore->logs().empty())
        return;
    _pRecorder = std::make_unique<TrendLogRecorder>(_pLogStore, _clientQueue, _log);
    _pRecorder->start();
    _log.information("Recording " + std::to_string(_pLogStore->logs().size()) +
                     " trend log(s) of the own device");
}

void Gateway::startManager(Poco::UInt32 deviceInstance)
{
    using namespace Orvik::BACnet::App;
    AppManager::AppTypeTable appTypes = AppManager::appTypes();
    if (const auto pause = _settings.startPauseMs)
    {
        appTypes[1] = [pause](Poco::Int32 id) { return new AppRP_OneShot(id, *pause); };
        appTypes[6] = [pause](Poco::Int32 id) { return new AppRR(id, *pause); };
        appTypes[500] = [pause](Poco::Int32 id)
        {
            VendorOrvik::TrendLogPusher::DataPusherTimings timings;
            timings.startDelayMs = *pause;
            return new VendorOrvik::TrendLogPusher::AppTrendLogPusher(id, timings);
        };
    }
    _pManager = std::make_unique<AppManager>(_settings.controllerId, deviceInstance, &_managerQueue,
                                             &_clientQueue, appTypes);
    _log.information("Starting the apps of controller " + std::to_string(_settings.controllerId) +
                     ", own device instance " + std::to_string(deviceInstance));
    _managerThread.start(_managerRunnable);
}

void Gateway::runManager()
{
    try
    {
        _pManager->run();
        return;
    }
    catch (Poco::Exception& e)
    {
        _log.fatal("The app manager failed: " + e.displayText());
    }
    catch (std::exception& e)
    {
        _log.fatal(std::string("The app manager failed: ") + e.what());
    }
    _managerFailed = true;
    // The main thread waits for a termination request: make one, so that the process ends.
    Poco::Process::requestTermination(Poco::Process::id());
}

bool Gateway::stop()
{
    if (_pSupervisor)
    {
        _notifier.notify("STOPPING=1");
        _pSupervisor->stop();
    }
    if (_managerThread.isRunning())
    {
        _managerQueue.enqueueUrgentNotification(
            new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
        _managerThread.join();
    }
    _pManager.reset();
    _pRecorder.reset();
    if (_pClient)
    {
        _pClient->stop();
        _pClient.reset();
    }
    // Not before: the client worker and the apps answer a sanity request still queued into its queue.
    _pSupervisor.reset();
    _pNetwork.reset();
    _pLogStore.reset();
    _pDatabase.reset();
    return !_managerFailed;
}

}  // namespace Orvik::Gateway
