#pragma once

#include <Poco/Logger.h>
#include <Poco/NotificationQueue.h>
#include <Poco/RunnableAdapter.h>
#include <Poco/Thread.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "ConfigurationDatabase.h"
#include "DataGatewaySettings.h"
#include "StatusFile.h"
#include "Supervisor.h"
#include "SystemdNotifier.h"
#include "TrendLogRecorder.h"

namespace Orvik::BACnet::Client
{
class ClientWorker;
class Network;
}  // namespace Orvik::BACnet::Client

namespace Orvik::BACnet::App
{
class AppManager;
}

namespace Orvik::Gateway
{

/// The running parts of the gateway: the configuration database, the BACnet network with the client
/// worker that serves the client queue, the recorder of the own device's trend logs (on BACnet/IP, their
/// records in `<database name>.trend-logs.db` beside the database, mode 0600), and the app manager on a
/// thread of its own.
///
/// start() brings them up in that order and throws (Poco::Exception, nothing left running) when the
/// database, the controller, the own device or the network is not usable. Then it tells systemd that
/// the gateway is ready (READY=1, when run with Type=notify) and starts the Supervisor, which feeds
/// systemd's watchdog while every worker answers and writes the status file beside the database
/// (every half watchdog period, else every 10 s). stop() ends the supervision first, then posts the manager's
/// stop request, waits for run() to return (the manager stops every app within its grace period),
/// then stops the recorder and the client worker. When the manager's thread ends by itself (an exception from
/// the database), the process is asked to terminate, so the main thread's wait for a termination request ends
/// too.
class Gateway
{
public:
    /// The database is created from `creationScripts` or, when it exists, gets `catalogueScript`
    /// (ConfigurationDatabase).
    Gateway(const DataGatewaySettings& settings, const std::vector<std::string>& creationScripts,
            const std::string& catalogueScript, Poco::Logger& log);
    Gateway(const Gateway&) = delete;
    Gateway& operator=(const Gateway&) = delete;
    /// Stops whatever still runs.
    ~Gateway();

    /// Status file rounds when systemd wants no keep-alives.
    static const Poco::Timespan _STATUS_INTERVAL;

    void start();
    /// True when the manager ended normally, on the stop request.
    bool stop();

private:
    void openDatabase();
    Poco::UInt32 ownDeviceInstance() const;
    void startNetwork(Poco::UInt32 deviceInstance);
    /// On BACnet/IP: the file of the own device's recorded trend logs, beside the database.
    void openLogStore();
    void startRecorder();
    void startManager(Poco::UInt32 deviceInstance);
    void runManager();
    void startSupervision();

    const DataGatewaySettings _settings;
    const std::vector<std::string> _creationScripts;
    const std::string _catalogueScript;
    Poco::Logger& _log;

    std::unique_ptr<ConfigurationDatabase> _pDatabase;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    // Before the workers: they may hold requests that name the supervisor's queue until they are gone.
    const SystemdNotifier _notifier;
    std::unique_ptr<StatusFile> _pStatusFile;
    std::unique_ptr<Supervisor> _pSupervisor;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pClient;
    std::shared_ptr<Orvik::BACnet::Device::LogStore> _pLogStore;
    std::unique_ptr<TrendLogRecorder> _pRecorder;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    Poco::RunnableAdapter<Gateway> _managerRunnable;
    Poco::Thread _managerThread;
    std::atomic<bool> _managerFailed{false};
};

}  // namespace Orvik::Gateway
