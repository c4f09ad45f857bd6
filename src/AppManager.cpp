#include "Orvik_ZARoveDore/AppManager.h"

#include <Poco/Data/Statement.h>
#include <Poco/Exception.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <iostream>
#include <memory>
#include <vector>

#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_Utility/LboLogSystem.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/Demo/AppBrowser.h"
#include "Orvik_ZARoveDore/Demo/AppRPM.h"
#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"
#include "Orvik_ZARoveDore/Demo/AppRR.h"
#include "Orvik_ZARoveDore/Demo/AppSubscribeCOV.h"
#include "Orvik_ZARoveDore/Demo/AppToggleBinaryOutput.h"
#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"
#include "Orvik_ZARoveDore/NotificationAppStatus.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"
#include "Orvik_ZARoveDore/VendorOrvik/FerroManager/AppFerroManager.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/AppMqttBridge.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"

namespace Orvik::BACnet::App
{

namespace
{

template <class App>
AppBase* create(Poco::Int32 idAppInstance)
{
    return new App(idAppInstance);
}

const std::string START_QUERY_HEAD =
    "SELECT a.id_vendor, a.app_id,b.id_ap_app_instance,b.instance_nr,a.name FROM ap_app a,ap_app_instance b "
    "WHERE b.id_ap_app=a.id_ap_app AND a.type=2 AND (b.start_at_startup>0 OR b.start_now > 0) AND ";
const std::string START_QUERY_ONE_INSTANCE = "b.id_ap_app_instance=?";
const std::string START_QUERY_CONTROLLER = "b.id_dv_controller=?";
const std::string START_QUERY_ORDER = " ORDER BY 1,2,4";

const long STOP_POLL_MILLISECONDS = 100;

}  // namespace

const AppManager::AppTypeTable& AppManager::appTypes()
{
    // One line per app class. There is no app number 7.
    static const AppTypeTable table = {
        {1, &create<AppRP_OneShot>},
        {2, &create<AppWhoIs>},
        {3, &create<AppToggleBinaryOutput>},
        {4, &create<AppRPM>},
        {5, &create<AppBrowser>},
        {6, &create<AppRR>},
        {8, &create<AppSubscribeCOV>},
        {500, &create<VendorOrvik::TrendLogPusher::AppTrendLogPusher>},
        {501, &create<VendorOrvik::FerroManager::AppFerroManager>},
        {502, &create<VendorOrvik::WatsonMQTT::AppWatsonMQTT>},
        {503, &create<VendorOrvik::MqttBridge::AppMqttBridge>},
    };
    return table;
}

AppManager::AppManager(Poco::Int32 idDvController, Poco::UInt32 thisBACnetServerDeviceInstance,
                       Poco::NotificationQueue* pQueueRead, Poco::NotificationQueue* pQueueBACnetClient)
    : AppManager(idDvController, thisBACnetServerDeviceInstance, pQueueRead, pQueueBACnetClient, appTypes())
{
}

AppManager::AppManager(Poco::Int32 idDvController, Poco::UInt32 thisBACnetServerDeviceInstance,
                       Poco::NotificationQueue* pQueueRead, Poco::NotificationQueue* pQueueBACnetClient,
                       const AppTypeTable& appTypes, long stopGraceMilliseconds)
    : Orvik::Utility::NotificationQueueWorker(pQueueRead, nullptr),
      _pQueueBACnetClient(pQueueBACnetClient),
      _idDvController(idDvController),
      _thisBACnetServerDeviceInstance(thisBACnetServerDeviceInstance),
      _appTypes(appTypes),
      _stopGraceMilliseconds(stopGraceMilliseconds)
{
    AppBase::_pAppManager = this;
}

AppManager::~AppManager()
{
    AppBase::_pAppManager = nullptr;
    // An app that is still running keeps its thread object: the app's worker points at it.
    for (auto* pApps : {&_apps, &_leftRunning})
    {
        for (RunningApp& app : *pApps)
        {
            if (app.pThread->isRunning())
            {
                static_cast<void>(app.pThread.release());
            }
        }
    }
}

void AppManager::run()
{
    startOnStartupApps(-1);
    workerStarted();
    for (;;)
    {
        Poco::AutoPtr<Poco::Notification> pNf(waitDequeueNotification(millisecondsToNextRestart()));
        startDueRestarts();
        if (pNf.isNull())
        {
            continue;
        }
        if (auto* pTermination = dynamic_cast<NotificationAppTermination*>(pNf.get()))
        {
            onAppTermination(*pTermination);
        }
        else if (auto* pHostNf = dynamic_cast<Orvik::Utility::Notification*>(pNf.get());
                 pHostNf != nullptr && pHostNf->getAction() == Orvik::Utility::Notification::SANITY_REQUEST)
        {
            handleNotification(pNf);  // the manager's own answer
            passSanityRequestOn(*pHostNf);
        }
        else if (dynamic_cast<NotificationAppRequest*>(pNf.get()) == nullptr && handleNotification(pNf))
        {
            stopApps();
            return;
        }
    }
}

void AppManager::startOnStartupApps(Poco::Int32 idAppInstance)
{
    using namespace Poco::Data::Keywords;
    const bool restart = idAppInstance >= 0;
    Poco::Int32 selector = restart ? idAppInstance : _idDvController;
    Poco::Int32 idVendor = 0;
    Poco::Int32 idApp = 0;
    Poco::Int32 idInstance = 0;
    Poco::Int32 instanceNr = 0;
    std::string name;
    Poco::Data::Statement select(*Orvik::Utility::Data::pDB);
    select << START_QUERY_HEAD + (restart ? START_QUERY_ONE_INSTANCE : START_QUERY_CONTROLLER) +
                  START_QUERY_ORDER,
        into(idVendor), into(idApp), into(idInstance), into(instanceNr), into(name), use(selector), limit(1);
    while (!select.done())
    {
        if (select.execute() == 0)
        {
            continue;
        }
        if (restart)
        {
            std::cout << "Restarting APP \"" << name << "\" with app-instance-id=" << idInstance << std::endl;
        }
        startApp(idVendor, idApp, idInstance, name);
    }
}

const AppBase* AppManager::startApp(Poco::Int32 idVendor, Poco::Int32 idApp, Poco::Int32 idAppInstance,
                                    const std::string& appName)
{
    const std::string threadName = appName + "(" + std::to_string(idAppInstance) + ")";
    if (idVendor != OWN_VENDOR_ID)
    {
        return nullptr;
    }
    const auto type = _appTypes.find(idApp);
    if (type == _appTypes.end())
    {
        std::cout << "Invalid APP type (ap_app.app_id): " << idApp << std::endl;
        return nullptr;
    }
    std::unique_ptr<AppBase> pApp(type->second(idAppInstance));
    auto pThread = std::make_unique<Poco::Thread>(threadName);
    pThread->start(*pApp);
    _backOffs[idAppInstance].started(Poco::Clock());
    ++_starts[idAppInstance];
    _apps.push_front({pApp.get(), threadName, Poco::Timestamp(), std::move(pThread)});
    return pApp.release();
}

void AppManager::passSanityRequestOn(const Orvik::Utility::Notification& request)
{
    Poco::NotificationQueue* pReplyQueue = request.getReplyQueue();
    if (pReplyQueue == nullptr)
    {
        return;
    }
    std::vector<DataAppStatus> running;
    for (const RunningApp& app : _apps)
    {
        running.push_back({app.threadName, app.pApp->idAppInstance, app.since,
                           _starts[app.pApp->idAppInstance] - 1, app.pApp->statusText(),
                           app.pApp->getReadQueue()});
    }
    pReplyQueue->enqueueNotification(new NotificationAppStatus(std::move(running)));
    for (const RunningApp& app : _apps)
    {
        app.pApp->getReadQueue()->enqueueNotification(
            new Orvik::Utility::Notification(Orvik::Utility::Notification::SANITY_REQUEST,
                                             Orvik::Utility::Notification::SANITY_RESPONSE, pReplyQueue));
    }
}

void AppManager::appTerminated(AppBase* pApp, bool removeFromApps)
{
    if (removeFromApps)
    {
        // The termination notification is the last thing the app's run does: the join is short.
        if (const std::unique_ptr<Poco::Thread> pThread = takeThreadOf(pApp))
        {
            pThread->join();
        }
    }
    if (pApp != nullptr)
    {
        std::cout << std::endl
                  << "TERMINATING APP, id_ap_app_instance=" << pApp->idAppInstance << std::endl
                  << std::endl;
        delete pApp;
    }
}

void AppManager::stopApps()
{
    _pendingRestarts.clear();
    signalStopToApps();
    waitForAppsToEnd();
    std::set<AppBase*> endedApps = takeTerminationsFromQueue();
    logBusyApps(endedApps);
    endedApps.merge(takeTerminationsFromQueue());
    deleteEndedApps(endedApps);
}

void AppManager::waitForAllAppsToStop()
{
    for (auto* pApps : {&_apps, &_leftRunning})
    {
        for (const RunningApp& app : *pApps)
        {
            while (app.pThread->isRunning())
            {
                Poco::Thread::sleep(STOP_POLL_MILLISECONDS);
            }
        }
    }
}

Poco::NotificationQueue* AppManager::getQueueBACnetClient() const
{
    return _pQueueBACnetClient;
}

Poco::UInt32 AppManager::getBACnetServerDeviceInstance() const
{
    return _thisBACnetServerDeviceInstance;
}

VALUE_QUALITY AppManager::getValue(Poco::Int32, ValueContainer&)
{
    throw Poco::NoPermissionException("AppManager::getValue()");
}

Poco::Int32 AppManager::setValue(Poco::Int32, const ValueContainer&)
{
    throw Poco::NoPermissionException("AppManager::setValue()");
}

bool AppManager::enqueueNotification(Poco::AutoPtr<Poco::Notification>, bool)
{
    throw Poco::NoPermissionException("AppManager::enqueueNotification()");
}

void AppManager::onAppTermination(const NotificationAppTermination& termination)
{
    if (termination.pApp == nullptr)
    {
        return;
    }
    const Poco::Int32 idAppInstance = termination.pApp->idAppInstance;
    appTerminated(termination.pApp, true);
    if (termination.restart)
    {
        scheduleRestart(idAppInstance);
    }
    else
    {
        _backOffs.erase(idAppInstance);
    }
}

void AppManager::scheduleRestart(Poco::Int32 idAppInstance)
{
    const Poco::Clock now;
    const Poco::Timespan delay = _backOffs[idAppInstance].delayAfterRun(now);
    if (delay.totalMicroseconds() == 0)
    {
        startOnStartupApps(idAppInstance);
        return;
    }
    _pendingRestarts[idAppInstance] = now + delay.totalMicroseconds();
}

void AppManager::startDueRestarts()
{
    const Poco::Clock now;
    std::vector<Poco::Int32> due;
    for (const auto& [idAppInstance, dueAt] : _pendingRestarts)
    {
        if (dueAt <= now)
        {
            due.push_back(idAppInstance);
        }
    }
    for (const Poco::Int32 idAppInstance : due)
    {
        _pendingRestarts.erase(idAppInstance);
        startOnStartupApps(idAppInstance);
    }
}

long AppManager::millisecondsToNextRestart() const
{
    if (_pendingRestarts.empty())
    {
        return -1;
    }
    Poco::Clock next = _pendingRestarts.begin()->second;
    for (const auto& pending : _pendingRestarts)
    {
        next = std::min(next, pending.second);
    }
    const Poco::Clock::ClockDiff remaining = next - Poco::Clock();
    // Round up, and never 0: a wait of 0 ms could be read as "no limit".
    return std::max<long>(1, static_cast<long>((remaining + 999) / 1000));
}

void AppManager::signalStopToApps()
{
    for (const RunningApp& app : _apps)
    {
        app.pApp->getReadQueue()->enqueueUrgentNotification(
            new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    }
}

bool AppManager::anyAppRunning() const
{
    return std::any_of(_apps.begin(), _apps.end(),
                       [](const RunningApp& app) { return app.pThread->isRunning(); });
}

void AppManager::waitForAppsToEnd()
{
    for (long budget = _stopGraceMilliseconds; budget > 0; budget -= STOP_POLL_MILLISECONDS)
    {
        Poco::Thread::sleep(STOP_POLL_MILLISECONDS);
        if (!anyAppRunning())
        {
            return;
        }
    }
}

std::set<AppBase*> AppManager::takeTerminationsFromQueue()
{
    // An app's termination notification is the last thing its run does: an app that posted one no
    // longer touches its object and may be deleted. Every other notification goes back to the queue.
    std::set<AppBase*> endedApps;
    std::vector<Poco::AutoPtr<Poco::Notification>> others;
    Poco::NotificationQueue& queue = *getReadQueue();
    for (Poco::AutoPtr<Poco::Notification> pNf(queue.dequeueNotification()); !pNf.isNull();
         pNf = queue.dequeueNotification())
    {
        auto* pTermination = dynamic_cast<NotificationAppTermination*>(pNf.get());
        if (pTermination == nullptr)
        {
            others.push_back(pNf);
        }
        else if (pTermination->pApp != nullptr)
        {
            endedApps.insert(pTermination->pApp);
        }
    }
    for (const auto& pNf : others)
    {
        queue.enqueueNotification(pNf);
    }
    return endedApps;
}

void AppManager::logBusyApps(const std::set<AppBase*>& endedApps)
{
    for (const RunningApp& app : _apps)
    {
        if (endedApps.count(app.pApp) == 0)
        {
            Orvik::Utility::LboLogSystem::pLogger->log(
                Orvik::Utility::Message2(Orvik::Utility::Message2::_CODE_APP_THREAD_BUSY, app.threadName));
        }
    }
}

void AppManager::deleteEndedApps(std::set<AppBase*>& endedApps)
{
    for (RunningApp& app : _apps)
    {
        // An app whose thread outlived the grace period stays alive with its thread: deleting it under
        // that thread would be a use-after-free. Its termination notification, when it comes, lets the
        // reader of the manager's queue delete it.
        if (endedApps.erase(app.pApp) > 0)
        {
            app.pThread->join();
            appTerminated(app.pApp, false);
        }
        else
        {
            _leftRunning.push_front(std::move(app));
        }
    }
    _apps.clear();
    // Apps left running by an earlier stop that have ended since.
    for (AppBase* pApp : endedApps)
    {
        appTerminated(pApp, true);
    }
}

std::unique_ptr<Poco::Thread> AppManager::takeThreadOf(const AppBase* pApp)
{
    std::unique_ptr<Poco::Thread> pThread;
    for (auto* pApps : {&_apps, &_leftRunning})
    {
        pApps->remove_if(
            [&](RunningApp& app)
            {
                if (app.pApp != pApp)
                {
                    return false;
                }
                pThread = std::move(app.pThread);
                return true;
            });
    }
    return pThread;
}

}  // namespace Orvik::BACnet::App
