#pragma once

#include <gtest/gtest.h>

#include <Poco/NotificationQueue.h>
#include <Poco/Thread.h>
#include <Poco/Types.h>

#include <map>
#include <memory>
#include <string>

#include "ConsoleCapture.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "SiteUnderTest.h"
#include "TestDatabase.h"

namespace Orvik::Test
{

/// The waits of a gateway rig's network; the defaults keep the tests of silent devices short.
struct GatewayWaits
{
    long apduTimeoutMs = 200;
    int apduRetries = 1;
    long whoIsWindowMs = 400;
};

/// A gateway for the apps' tests: a configuration database (TestDatabase), a network served by a real
/// client worker with short time-outs, an app manager and the console captured (ConsoleCapture).
/// The manager does not run unless startManager() is called: apps run on the test's thread and only reach
/// the manager's queue. The client worker runs from the first serve...() call to the end of the rig.
class GatewayRig
{
public:
    /// Stored parameter values by id_ap_app_property.
    using Values = std::map<Poco::Int32, std::string>;

    using Waits = GatewayWaits;

    explicit GatewayRig(Poco::UInt32 ownDevice = 1001);
    ~GatewayRig();

    TestDatabase& db() { return *_pDb; }

    /// Serves a site file of sites/, or a site given as text, where ORVIK_TEST_SERVER says (SiteUnderTest).
    void serveSite(const std::string& fileName, const Waits& waits = Waits());
    void serveSiteText(const std::string& text, const Waits& waits = Waits());
    /// Serves another network (BACnet/IP) instead of a simulated site; site() is not available then.
    void serveNetwork(std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork, const Waits& waits = Waits());
    Orvik::BACnet::Client::Simulation::SimulatedSite& site() { return _pServed->site(); }

    /// An instance of app `idApApp` (the next instance number) with stored values; returns its key.
    Poco::Int32 addInstance(Poco::Int32 idApApp, const Values& values = {});

    /// Runs the app's body on this thread, with the stop request queued first when `stopFirst`; returns
    /// whether the app asks to be restarted. `more` goes to the app's constructor after the instance id.
    template <class App, class... More>
    bool runApp(Poco::Int32 idAppInstance, bool stopFirst = false, More... more)
    {
        App app(idAppInstance, more...);
        if (stopFirst)
        {
            requestStop(app);
        }
        return app.descRun();
    }
    /// runApp() without the pause before the first request of the apps that have one (AppRP_OneShot, AppRR).
    template <class App>
    bool runAtOnce(Poco::Int32 idAppInstance, bool stopFirst = false)
    {
        return runApp<App>(idAppInstance, stopFirst, 0L);
    }
    /// Queues the stop request for a running app.
    static void requestStop(Orvik::BACnet::App::AppBase& app);

    /// Runs a manager with these app types on a thread of its own (in place of the idle one).
    void startManager(const Orvik::BACnet::App::AppManager::AppTypeTable& appTypes);
    /// Posts the host's stop request to a running manager and waits for its end; false when it did not end
    /// within `timeoutMs`. True at once when no manager runs.
    bool stopManager(long timeoutMs = 30000);
    Poco::NotificationQueue& managerQueue() { return _managerQueue; }
    Poco::NotificationQueue& clientQueue() { return _clientQueue; }

    std::string out() const { return _console.out(); }
    std::string err() const { return _console.err(); }

protected:
    /// A rig on the database `pDb` (such as one in a file that another gateway opens again).
    GatewayRig(Poco::UInt32 ownDevice, std::unique_ptr<TestDatabase> pDb);

private:
    void serve(const std::string& site, bool isFile, const Waits& waits);
    void startClient(Orvik::BACnet::Client::Network& network, const Waits& waits);

    Poco::UInt32 _ownDevice;
    ConsoleCapture _console;
    std::unique_ptr<TestDatabase> _pDb;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<SiteUnderTest> _pServed;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;  ///< the network served instead of a site
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pClient;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    Poco::Thread _managerThread;
};

/// The rig as a GoogleTest fixture.
class GatewayRigTest : public testing::Test, public GatewayRig
{
};

}  // namespace Orvik::Test
