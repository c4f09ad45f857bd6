#include "Supervisor.h"

#include <Poco/Data/Statement.h>
#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/Process.h>

#include <algorithm>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/NotificationAppStatus.h"

using namespace Poco::Data::Keywords;

namespace Orvik::Gateway
{

using Orvik::BACnet::App::DataAppStatus;
using Orvik::Utility::Notification;

namespace
{
/// The trend log pusher's app number and its parameter of upload positions.
const Poco::Int32 PUSHER_APP = 500;
const Poco::Int32 PUSHER_POSITIONS = 43;

std::string isoTime(const Poco::Timestamp& time)
{
    return Poco::DateTimeFormatter::format(time, Poco::DateTimeFormat::ISO8601_FORMAT);
}
}  // namespace

Supervisor::Supervisor(Poco::NotificationQueue& managerQueue, Poco::NotificationQueue& clientQueue,
                       const SystemdNotifier& notifier, const StatusFile& statusFile, Poco::Logger& log,
                       Poco::Timespan interval, Poco::Timespan alivePeriod)
    : _asked{&managerQueue, &clientQueue},
      _notifier(notifier),
      _statusFile(statusFile),
      _log(log),
      _interval(interval),
      _alivePeriod(alivePeriod),
      _thread("supervisor")
{
    _workers[&managerQueue].name = "app manager";
    _workers[&clientQueue].name = "client worker";
}

void Supervisor::watch(Poco::NotificationQueue& queue, const std::string& name)
{
    _asked.push_back(&queue);
    _workers[&queue].name = name;
}

Supervisor::~Supervisor()
{
    stop();
}

void Supervisor::start()
{
    _running = true;
    _thread.start(*this);
}

void Supervisor::stop()
{
    if (!_running.exchange(false))
        return;
    _answers.wakeUpAll();
    _thread.join();
}

void Supervisor::run()
{
    while (_running)
    {
        askWorkers();
        if (!collectAnswers())
            return;
        const std::vector<std::string> silent = silentWorkers();
        if (silent.empty() && _notifier.watchdogPeriod() > 0)
            _notifier.notify("WATCHDOG=1");
        writeStatus(silent);
    }
}

void Supervisor::askWorkers()
{
    for (Poco::NotificationQueue* pQueue : _asked)
        pQueue->enqueueNotification(
            new Notification(Notification::SANITY_REQUEST, Notification::SANITY_RESPONSE, &_answers));
}

bool Supervisor::collectAnswers()
{
    const Poco::Clock roundStart;
    while (_running)
    {
        const Poco::Clock::ClockDiff left = _interval.totalMicroseconds() - roundStart.elapsed();
        if (left <= 0)
            return true;
        Poco::AutoPtr<Poco::Notification> pNf(
            _answers.waitDequeueNotification(static_cast<long>(left / 1000) + 1));
        if (auto* pStatus = dynamic_cast<Orvik::BACnet::App::NotificationAppStatus*>(pNf.get()))
            takeAppList(pStatus->apps);
        else if (auto* pAnswer = dynamic_cast<Notification*>(pNf.get());
                 pAnswer != nullptr && pAnswer->getAction() == Notification::SANITY_RESPONSE)
        {
            const auto worker = _workers.find(pAnswer->getReplyQueue());
            if (worker != _workers.end())
            {
                worker->second.lastAnswer.update();
                if (worker->second.reportedSilent)
                    _log.warning("Supervision: " + worker->second.name + " answers again");
                worker->second.reportedSilent = false;
            }
        }
    }
    return false;
}

void Supervisor::takeAppList(const std::vector<DataAppStatus>& apps)
{
    // Ended apps are no longer waited for; new ones count from now.
    std::map<const void*, Worker> workers;
    for (const Poco::NotificationQueue* pQueue : _asked)
        workers[pQueue] = _workers[pQueue];
    for (const DataAppStatus& app : apps)
    {
        const auto known = _workers.find(app.queue);
        if (known != _workers.end())
            workers[app.queue] = known->second;
        else
            workers[app.queue].name = app.name;
    }
    _workers.swap(workers);
    _apps = apps;
}

std::vector<std::string> Supervisor::silentWorkers()
{
    std::vector<std::string> silent;
    for (auto& [queue, worker] : _workers)
    {
        if (!worker.lastAnswer.isElapsed(_alivePeriod.totalMicroseconds()))
            continue;
        silent.push_back(worker.name);
        if (!worker.reportedSilent)
            _log.error("Supervision: " + worker.name + " has not answered a sanity request for " +
                       std::to_string(worker.lastAnswer.elapsed() / 1000000) +
                       " s; no more keep-alives to the service manager");
        worker.reportedSilent = true;
    }
    return silent;
}

void Supervisor::writeStatus(const std::vector<std::string>& silent)
{
    Poco::JSON::Object status(Poco::JSON_PRESERVE_KEY_ORDER);
    status.set("written", isoTime(Poco::Timestamp()));
    status.set("started", isoTime(_started));
    status.set("pid", static_cast<int>(Poco::Process::id()));
    status.set("interval", static_cast<double>(_interval.totalMilliseconds()) / 1000);
    status.set("alive", silent.empty());
    Poco::JSON::Array silentList;
    for (const std::string& name : silent)
        silentList.add(name);
    status.set("silent", silentList);
    Poco::JSON::Array apps;
    for (const DataAppStatus& app : _apps)
    {
        Poco::JSON::Object entry(Poco::JSON_PRESERVE_KEY_ORDER);
        entry.set("name", app.name);
        entry.set("instance", app.idAppInstance);
        entry.set("since", isoTime(app.since));
        entry.set("restarts", app.restarts);
        entry.set("state", app.text);
        addPusherPositions(app, entry);
        apps.add(entry);
    }
    status.set("apps", apps);
    try
    {
        _statusFile.write(status);
    }
    catch (Poco::Exception& e)
    {
        _log.warning("Cannot write the status file: " + e.displayText());
    }
}

void Supervisor::addPusherPositions(const DataAppStatus& app, Poco::JSON::Object& entry)
{
    try
    {
        Poco::Int32 instance = app.idAppInstance;
        Poco::Int32 appNumber = 0;
        *Orvik::Utility::Data::pDB << "SELECT a.app_id FROM ap_app a, ap_app_instance b "
                                      "WHERE a.id_ap_app=b.id_ap_app AND b.id_ap_app_instance=?",
            use(instance), into(appNumber), now;
        Orvik::BACnet::ValueContainer positions;
        if (appNumber != PUSHER_APP ||
            Orvik::BACnet::App::AppBase::dbGetPropertyInstance(instance, PUSHER_POSITIONS, positions) <= 0)
            return;
        // The pusher stores its positions after each successful upload: a newer last record is an upload.
        std::vector<Orvik::BACnet::DataType::Proprietary::VendorOrvik::BACnetTrendLogLastUploaded> logs;
        positions.getValues(logs);
        Poco::Timestamp newest(0);
        for (const auto& log : logs)
            newest = std::max(newest, log.getTimeStamp());
        auto seen = _newestRecords.find(instance);
        if (seen == _newestRecords.end())
            seen = _newestRecords.emplace(instance, std::make_pair(newest, Poco::Timestamp(0))).first;
        else if (newest > seen->second.first)
            seen->second = {newest, Poco::Timestamp()};
        entry.set("trend logs", static_cast<unsigned>(logs.size()));
        if (newest.epochMicroseconds() != 0)
            entry.set("newest uploaded record", isoTime(newest));
        if (seen->second.second.epochMicroseconds() != 0)
            entry.set("upload seen", isoTime(seen->second.second));
        entry.set("positions", positions.getText());
    }
    catch (Poco::Exception& e)
    {
        _log.warning("Status: cannot read the upload positions of " + app.name + ": " + e.displayText());
    }
}

}  // namespace Orvik::Gateway
