#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Clock.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Thread.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <forward_list>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/ValueQuality.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_Utility/NotificationQueueWorker.h"
#include "Orvik_ZARoveDore/RestartBackOff.h"

namespace Orvik::BACnet::App
{

class AppBase;
class NotificationAppTermination;

/// The BACnet vendor identifier of this system's own apps. Only app rows of this vendor start.
constexpr Poco::UInt16 OWN_VENDOR_ID = 64701;

/// Runs the apps configured for one controller.
///
/// The host constructs one manager and runs run() on a thread of its own. run() starts every app
/// instance of the controller whose app has type 2 and whose instance has start_at_startup or
/// start_now set, each on a thread of its own, then serves the manager's queue:
///   - NotificationAppTermination: the app is deleted; when it asked for a restart, its row is read
///     again and the instance started anew if the row still asks for it. A restart asked for within
///     moments of the app's start is delayed by a growing back-off (see RestartBackOff); an app that
///     ran a while is restarted at once.
///   - NotificationAppRequest: ignored.
///   - a sanity request (host Notification SANITY_REQUEST) with a reply queue: the manager answers it
///     itself, posts a NotificationAppStatus with its running apps to the reply queue and passes the
///     request on to every running app, which answers it from its own loop. A supervisor so learns
///     which workers still turn their loops without ever touching an app object.
///   - anything else goes to handleNotification(); the host's stop request (STOP_RUNNING) stops all
///     apps and ends run().
///
/// Apps reach the manager through AppBase::_pAppManager, which the constructor sets to this object
/// and the destructor clears. There is at most one manager at a time.
///
/// Only the manager's own thread calls run(), startOnStartupApps(), startApp(), appTerminated() and
/// stopApps(). Apps talk to the manager only through its queue and its constant accessors.
class AppManager : public Orvik::Utility::NotificationQueueWorker
{
public:
    /// Creates the app object of one app number for an app instance id.
    using AppFactory = std::function<AppBase*(Poco::Int32 idAppInstance)>;
    /// App number (ap_app.app_id) -> the factory of its class.
    using AppTypeTable = std::map<Poco::Int32, AppFactory>;

    /// The app classes of this library by app number.
    static const AppTypeTable& appTypes();

    /// Builds the worker on the host's manager queue `pQueueRead` (not owned), keeps the host's BACnet
    /// client queue (not owned) and sets AppBase::_pAppManager. Starts nothing.
    AppManager(Poco::Int32 idDvController, Poco::UInt32 thisBACnetServerDeviceInstance,
               Poco::NotificationQueue* pQueueRead, Poco::NotificationQueue* pQueueBACnetClient);

    /// How long stopApps() waits for the apps to end by default.
    static constexpr long _DEFAULT_STOP_GRACE_MILLISECONDS = 10000;

    /// The same, with an app type table of the caller's (a host that brings apps of its own) and the
    /// time stopApps() gives the apps to end (test rigs pass a short one).
    AppManager(Poco::Int32 idDvController, Poco::UInt32 thisBACnetServerDeviceInstance,
               Poco::NotificationQueue* pQueueRead, Poco::NotificationQueue* pQueueBACnetClient,
               const AppTypeTable& appTypes, long stopGraceMilliseconds = _DEFAULT_STOP_GRACE_MILLISECONDS);

    /// Clears AppBase::_pAppManager. Apps still running must have been stopped by run() before.
    ~AppManager() override;

    /// The manager's thread body. Returns after the host's stop request, with all apps stopped.
    /// Database exceptions of the start query are not caught.
    void run() override;

    /// With a negative argument starts every app instance of this controller that is to run; with an
    /// app instance id starts that instance again if its row still asks for it ("Restarting APP ...").
    void startOnStartupApps(Poco::Int32 idAppInstance);

    /// Starts one app on a thread of its own named "<appName>(<idAppInstance>)". Returns null,
    /// silently, for a vendor other than OWN_VENDOR_ID, and with the message
    /// "Invalid APP type (ap_app.app_id): <idApp>" for an unknown app number. An exception of the
    /// thread's start is passed on; the app object is then deleted.
    const AppBase* startApp(Poco::Int32 idVendor, Poco::Int32 idApp, Poco::Int32 idAppInstance,
                            const std::string& appName);

    /// Takes an ended app off the list (when `removeFromApps`; also an app that a stop left running),
    /// joins its thread, prints "TERMINATING APP, id_ap_app_instance=<id>" and deletes it. Call only for
    /// an app whose run has ended (its termination notification has arrived).
    void appTerminated(AppBase* pApp, bool removeFromApps);

    /// Posts STOP_RUNNING to every app (newest first), waits up to the grace period (10 s by default) for
    /// their runs to end, logs message 102 for each app still busy, then deletes every app whose run has
    /// ended. An app whose thread is still running is not deleted under it, nor waited for any longer: it is
    /// left alive with its thread, and whoever later reads its termination notification from the manager's
    /// queue passes it to appTerminated(), which deletes it. The manager's destructor leaves such an app
    /// and its thread to run on.
    void stopApps();

    /// Blocks until the run of every started app has ended.
    void waitForAllAppsToStop();

    /// The host's BACnet client request queue.
    Poco::NotificationQueue* getQueueBACnetClient() const;

    /// The device instance of the host's own BACnet server device.
    Poco::UInt32 getBACnetServerDeviceInstance() const;

    /// Not supported: throws Poco::NoPermissionException("AppManager::getValue()").
    static VALUE_QUALITY getValue(Poco::Int32 idAppProperty, ValueContainer& value);
    /// Not supported: throws Poco::NoPermissionException("AppManager::setValue()").
    static Poco::Int32 setValue(Poco::Int32 idAppProperty, const ValueContainer& value);
    /// Not supported: throws Poco::NoPermissionException("AppManager::enqueueNotification()").
    static bool enqueueNotification(Poco::AutoPtr<Poco::Notification> pNf, bool urgent);

private:
    /// A started app, its thread and the thread's name.
    struct RunningApp
    {
        AppBase* pApp;
        std::string threadName;
        Poco::Timestamp since;
        std::unique_ptr<Poco::Thread> pThread;
    };

    void onAppTermination(const NotificationAppTermination& termination);
    /// The running apps to the request's reply queue, and the request to every app.
    void passSanityRequestOn(const Orvik::Utility::Notification& request);
    void scheduleRestart(Poco::Int32 idAppInstance);
    void startDueRestarts();
    long millisecondsToNextRestart() const;

    void signalStopToApps();
    bool anyAppRunning() const;
    void waitForAppsToEnd();
    std::set<AppBase*> takeTerminationsFromQueue();
    void logBusyApps(const std::set<AppBase*>& endedApps);
    void deleteEndedApps(std::set<AppBase*>& endedApps);
    /// The thread of an app, taken off the running apps or off those a stop left running.
    std::unique_ptr<Poco::Thread> takeThreadOf(const AppBase* pApp);

    Poco::NotificationQueue* _pQueueBACnetClient;
    const Poco::Int32 _idDvController;
    const Poco::UInt32 _thisBACnetServerDeviceInstance;
    std::forward_list<RunningApp> _apps;         // newest first
    std::forward_list<RunningApp> _leftRunning;  // busy when a stop gave up waiting for them
    const AppTypeTable _appTypes;
    const long _stopGraceMilliseconds;
    std::map<Poco::Int32, RestartBackOff> _backOffs;      // by app instance id
    std::map<Poco::Int32, unsigned> _starts;              // by app instance id
    std::map<Poco::Int32, Poco::Clock> _pendingRestarts;  // app instance id -> due time
};

}  // namespace Orvik::BACnet::App
