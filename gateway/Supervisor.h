#pragma once

#include <Poco/Clock.h>
#include <Poco/Logger.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Runnable.h>
#include <Poco/Thread.h>
#include <Poco/Timespan.h>
#include <Poco/Timestamp.h>

#include <atomic>
#include <map>
#include <string>
#include <vector>

#include "Orvik_ZARoveDore/DataAppStatus.h"
#include "StatusFile.h"
#include "SystemdNotifier.h"

namespace Orvik::Gateway
{

/// Watches that every worker of the gateway still turns its loop, keeps systemd's watchdog fed
/// while they do, and writes the status file.
///
/// Every `interval` it posts a sanity request (host Notification SANITY_REQUEST, its own queue as
/// reply queue) to the app manager and to the BACnet client worker; the manager answers, reports its
/// running apps (NotificationAppStatus) and passes the request on to each app. A worker is alive
/// while its last answer (or, before its first, its start) lies within `alivePeriod`. While every
/// worker is alive each round sends WATCHDOG=1; when one is not, the keep-alives stop (systemd then
/// restarts the gateway) and the log names the silent worker once, and again when it answers.
///
/// The workers' queues must outlive the rounds (until stop() returns), and this object must outlive the
/// workers: a worker may still hold a request that names this object's queue as reply queue.
class Supervisor : public Poco::Runnable
{
public:
    /// `notifier` and `log` are not owned and must outlive this object.
    Supervisor(Poco::NotificationQueue& managerQueue, Poco::NotificationQueue& clientQueue,
               const SystemdNotifier& notifier, const StatusFile& statusFile, Poco::Logger& log,
               Poco::Timespan interval, Poco::Timespan alivePeriod);
    ~Supervisor() override;

    /// Watches one more worker, which answers sanity requests posted to `queue` as
    /// NotificationQueueWorker::answerSanityRequest() does. Before start(); `queue` must outlive the rounds.
    void watch(Poco::NotificationQueue& queue, const std::string& name);
    void start();
    /// Ends the rounds; waits for the thread.
    void stop();

    void run() override;

private:
    /// A worker as the supervisor knows it.
    struct Worker
    {
        std::string name;
        Poco::Clock lastAnswer;  ///< or when it was first known
        bool reportedSilent = false;
    };

    void askWorkers();
    /// Takes the answers until the round's end; false when stop() was called.
    bool collectAnswers();
    void takeAppList(const std::vector<Orvik::BACnet::App::DataAppStatus>& apps);
    std::vector<std::string> silentWorkers();
    void writeStatus(const std::vector<std::string>& silent);
    void addPusherPositions(const Orvik::BACnet::App::DataAppStatus& app, class Poco::JSON::Object& entry);

    /// The workers asked every round besides the apps: the manager, the client worker, those watch()ed.
    std::vector<Poco::NotificationQueue*> _asked;
    const SystemdNotifier& _notifier;
    const StatusFile& _statusFile;
    Poco::Logger& _log;
    const Poco::Timespan _interval;
    const Poco::Timespan _alivePeriod;
    const Poco::Timestamp _started;

    Poco::NotificationQueue _answers;
    std::map<const void*, Worker> _workers;  // by the worker's read queue
    std::vector<Orvik::BACnet::App::DataAppStatus> _apps;
    /// Per pusher instance: its newest uploaded record and when the supervisor saw it advance.
    std::map<Poco::Int32, std::pair<Poco::Timestamp, Poco::Timestamp>> _newestRecords;
    Poco::Thread _thread;
    std::atomic<bool> _running{false};
};

}  // namespace Orvik::Gateway
