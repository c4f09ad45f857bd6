#include <gtest/gtest.h>

#include <Poco/Event.h>
#include <Poco/Exception.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Thread.h>

#include <memory>
#include <stdexcept>

#include "AppJournal.h"
#include "AppTestDatabase.h"
#include "LogCapture.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"
#include "ProbeApp.h"

using namespace Orvik::BACnet::App;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace
{

const Poco::UInt32 SERVER_DEVICE = 4194000;
const long SAFETY_JOIN_MS = 120000;
const Poco::Int32 PROBE_A = 901;
const Poco::Int32 PROBE_B = 902;
const Poco::Int32 FOREIGN_VENDOR = 260;

std::string id(Poco::Int32 idAppInstance)
{
    return std::to_string(idAppInstance);
}

std::string terminating(Poco::Int32 idAppInstance)
{
    return "\nTERMINATING APP, id_ap_app_instance=" + id(idAppInstance) + "\n\n";
}

bool waitForStop(ProbeApp& app)
{
    return app.waitForStop();
}

class AppManagerTest : public testing::Test
{
protected:
    void TearDown() override
    {
        if (_managerThread.isRunning())
        {
            stopManager();
        }
    }

    void startManager(const AppManager::AppTypeTable& appTypes)
    {
        _pManager = std::make_unique<AppManager>(AppTestDatabase::_CONTROLLER, SERVER_DEVICE, &_managerQueue,
                                                 &_clientQueue, appTypes);
        _managerThread.start(*_pManager);
    }

    void stopManager()
    {
        _managerQueue.enqueueNotification(
            new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
        _managerThread.join(SAFETY_JOIN_MS);
    }

    AppTestDatabase _db;
    AppJournal _journal;
    LogCapture _log;
    Poco::NotificationQueue _managerQueue;
    Poco::NotificationQueue _clientQueue;
    std::unique_ptr<AppManager> _pManager;
    Poco::Thread _managerThread;
};

}  // namespace

TEST_F(AppManagerTest, StartsConfiguredInstancesInOrderSkipsTheRestAndStopsNewestFirst)
{
    const Poco::Int32 appB = _db.addApp(OWN_VENDOR_ID, PROBE_B, "B");
    const Poco::Int32 appA = _db.addApp(OWN_VENDOR_ID, PROBE_A, "A");
    const Poco::Int32 b2 = _db.addInstance(appB, 2, true);
    const Poco::Int32 b1 = _db.addInstance(appB, 1, false, true);
    const Poco::Int32 a1 = _db.addInstance(appA, 1, true);
    _db.addInstance(appA, 2, false, false);
    _db.addInstance(appA, 3, true, false, AppTestDatabase::_CONTROLLER + 1);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Library", 1), 1, true);
    _db.addInstance(_db.addApp(FOREIGN_VENDOR, PROBE_A, "Foreign"), 1, true);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, 9, "Nine"), 1, true);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, 7, "Seven"), 1, true);
    const AppManager::AppTypeTable appTypes = {{PROBE_A, ProbeApp::factory(_journal, waitForStop)},
                                               {PROBE_B, ProbeApp::factory(_journal, waitForStop)}};

    CaptureStdout();
    startManager(appTypes);
    ASSERT_TRUE(_journal.waitFor("start " + id(a1)));
    ASSERT_TRUE(_journal.waitFor("start " + id(b1)));
    ASSERT_TRUE(_journal.waitFor("start " + id(b2)));
    _managerQueue.enqueueNotification(new NotificationAppRequest);
    stopManager();

    EXPECT_EQ(GetCapturedStdout(),
              "Invalid APP type (ap_app.app_id): 7\nInvalid APP type (ap_app.app_id): 9\n" + terminating(b2) +
                  terminating(b1) + terminating(a1));
    EXPECT_EQ(_journal.entriesStartingWith("create"),
              (std::vector<std::string>{"create " + id(a1), "create " + id(b1), "create " + id(b2)}));
    EXPECT_EQ(_journal.entriesStartingWith("delete"),
              (std::vector<std::string>{"delete " + id(b2), "delete " + id(b1), "delete " + id(a1)}));
    EXPECT_EQ(_journal.entriesStartingWith("stopped").size(), 3u);
    EXPECT_TRUE(_log.lines().empty());
}

TEST_F(AppManagerTest, WithNothingConfiguredItStartsNothingAndStillStops)
{
    CaptureStdout();
    startManager(AppManager::appTypes());
    stopManager();
    EXPECT_EQ(GetCapturedStdout(), "");
    EXPECT_FALSE(_managerThread.isRunning());
}

TEST_F(AppManagerTest, RestartsAnAppThatAsksWhileItsRowStillSaysSo)
{
    const Poco::Int32 again = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Again"), 1, true);
    const Poco::Int32 cleared = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_B, "Cleared"), 1, true);
    AppTestDatabase& db = _db;
    AppJournal& journal = _journal;
    const AppManager::AppTypeTable appTypes = {
        {PROBE_A, ProbeApp::factory(_journal, [&journal, again](ProbeApp&)
                                    { return journal.count("start " + id(again)) == 1; })},
        {PROBE_B, ProbeApp::factory(_journal,
                                    [&db, cleared](ProbeApp&)
                                    {
                                        db.setStartFlags(cleared, false, false);
                                        return true;
                                    })}};

    CaptureStdout();
    startManager(appTypes);
    ASSERT_TRUE(_journal.waitFor("delete " + id(again), 2));
    ASSERT_TRUE(_journal.waitFor("delete " + id(cleared)));
    stopManager();
    const std::string out = GetCapturedStdout();

    EXPECT_EQ(_journal.count("create " + id(again)), 2);
    EXPECT_EQ(_journal.count("create " + id(cleared)), 1);
    EXPECT_NE(out.find("Restarting APP \"Again\" with app-instance-id=" + id(again) + "\n"),
              std::string::npos);
    EXPECT_EQ(out.find("Restarting APP \"Cleared\""), std::string::npos);
}

TEST_F(AppManagerTest, AnAppThatThrowsIsLoggedOnceAndNotRestarted)
{
    const Poco::Int32 appId = _db.addApp(OWN_VENDOR_ID, PROBE_A, "Thrower");
    const Poco::Int32 poco = _db.addInstance(appId, 1, true);
    const Poco::Int32 standard = _db.addInstance(appId, 2, true);
    const Poco::Int32 unknown = _db.addInstance(appId, 3, true);
    const AppManager::AppTypeTable appTypes = {
        {PROBE_A, ProbeApp::factory(_journal,
                                    [=](ProbeApp& app) -> bool
                                    {
                                        if (app.idAppInstance == poco)
                                            throw Poco::FileNotFoundException("no such file");
                                        if (app.idAppInstance == standard)
                                            throw std::runtime_error("plain failure");
                                        throw 42;
                                    })}};

    CaptureStdout();
    startManager(appTypes);
    for (const Poco::Int32 instance : {poco, standard, unknown})
    {
        ASSERT_TRUE(_journal.waitFor("delete " + id(instance)));
    }
    stopManager();
    const std::string out = GetCapturedStdout();

    EXPECT_EQ(out.find("Restarting APP"), std::string::npos);
    EXPECT_EQ(_journal.entriesStartingWith("create").size(), 3u);
    const std::vector<std::string> logged = _log.linesOf(13);
    ASSERT_EQ(logged.size(), 3u);
    const std::string all = logged[0] + logged[1] + logged[2];
    EXPECT_NE(all.find("File not found: no such file"), std::string::npos);
    EXPECT_NE(all.find("plain failure"), std::string::npos);
    EXPECT_NE(all.find(Orvik::Utility::LboLogSystem::EXCEPTION_UNKNOWN), std::string::npos);
    EXPECT_NE(logged[0].find("AppBase.cpp"), std::string::npos);
}

TEST_F(AppManagerTest, QuickRestartsGoOnThroughTheBackOffAndStopDropsThePendingOne)
{
    const Poco::Int32 flapping = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Flapping"), 1, true);
    const AppManager::AppTypeTable appTypes = {
        {PROBE_A, ProbeApp::factory(_journal, [](ProbeApp&) { return true; })}};

    CaptureStdout();
    startManager(appTypes);
    // The first quick restart is immediate, the second waits for the back-off.
    ASSERT_TRUE(_journal.waitFor("delete " + id(flapping), 3));
    stopManager();
    GetCapturedStdout();

    const int created = _journal.count("create " + id(flapping));
    EXPECT_GE(created, 3);
    EXPECT_EQ(_journal.count("delete " + id(flapping)), created);
}

TEST_F(AppManagerTest, StopLeavesAnAppThatIgnoresItAliveUntilItsThreadHasEnded)
{
    const Poco::Int32 stubborn = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Stubborn"), 1, true);
    const Poco::Int32 polite = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_B, "Polite"), 1, true);
    Poco::Event release;
    const AppManager::AppTypeTable appTypes = {{PROBE_A, ProbeApp::factory(_journal,
                                                                           [&release](ProbeApp& app)
                                                                           {
                                                                               release.wait();
                                                                               app.note("released");
                                                                               return true;
                                                                           })},
                                               {PROBE_B, ProbeApp::factory(_journal, waitForStop)}};

    CaptureStdout();
    startManager(appTypes);
    ASSERT_TRUE(_journal.waitFor("start " + id(stubborn)));
    ASSERT_TRUE(_journal.waitFor("start " + id(polite)));
    stopManager();  // the full grace period and the pool's forced stop

    EXPECT_EQ(_journal.count("delete " + id(polite)), 1);
    EXPECT_EQ(_journal.count("delete " + id(stubborn)), 0);
    const std::vector<std::string> busy = _log.linesOf(102);
    ASSERT_EQ(busy.size(), 1u);
    EXPECT_NE(busy[0].find("Stubborn(" + id(stubborn) + ")"), std::string::npos);

    release.set();
    Poco::AutoPtr<Poco::Notification> pNf(_managerQueue.waitDequeueNotification(SAFETY_JOIN_MS));
    auto* pTermination = dynamic_cast<NotificationAppTermination*>(pNf.get());
    ASSERT_NE(pTermination, nullptr);
    EXPECT_TRUE(pTermination->restart);
    _pManager->appTerminated(pTermination->pApp, true);
    GetCapturedStdout();
    EXPECT_EQ(_journal.entriesStartingWith("released").size(), 1u);
    EXPECT_EQ(_journal.count("delete " + id(stubborn)), 1);
}

TEST(AppManager, ValueAccessAndDirectPostingAreRefused)
{
    Orvik::BACnet::ValueContainer value;
    auto refusal = [](auto operation) -> std::string
    {
        try
        {
            operation();
        }
        catch (const Poco::NoPermissionException& refused)
        {
            return refused.message();
        }
        return "not refused";
    };
    EXPECT_EQ(refusal([&] { AppManager::getValue(1, value); }), "AppManager::getValue()");
    EXPECT_EQ(refusal([&] { AppManager::setValue(1, value); }), "AppManager::setValue()");
    EXPECT_EQ(refusal([] { AppManager::enqueueNotification(new NotificationAppRequest, true); }),
              "AppManager::enqueueNotification()");
}
