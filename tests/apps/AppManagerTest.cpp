#include <gtest/gtest.h>

#include <Poco/Event.h>
#include <Poco/Exception.h>
#include <Poco/Thread.h>

#include <stdexcept>

#include "ConsoleCapture.h"
#include "LogCapture.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"
#include "ProbeApp.h"
#include "TestDatabase.h"

using namespace Orvik::BACnet::App;
using Orvik::Test::AppJournal;
using Orvik::Test::LogCapture;
using Orvik::Test::ProbeApp;
using Orvik::Test::TestDatabase;
using Entries = std::vector<std::string>;

namespace
{

const Poco::Int32 PROBE_A = 901;
const Poco::Int32 PROBE_B = 902;

std::string terminating(Poco::Int32 id)
{
    return "\nTERMINATING APP, id_ap_app_instance=" + std::to_string(id) + "\n\n";
}

class AppManagerTest : public testing::Test
{
protected:
    AppManagerTest() { _db.exec("INSERT INTO dv_controller (id_dv_controller,name) VALUES(2,'other')"); }
    ~AppManagerTest() override
    {
        if (_thread.isRunning())
            stopManager();
    }
    void startManager(const AppManager::AppTypeTable& appTypes,
                      long stopGraceMilliseconds = AppManager::_DEFAULT_STOP_GRACE_MILLISECONDS)
    {
        _pManager = std::make_unique<AppManager>(TestDatabase::_CONTROLLER, 4194000, &_queue, &_clientQueue,
                                                 appTypes, stopGraceMilliseconds);
        _thread.start(*_pManager);
    }
    void stopManager()
    {
        _queue.enqueueNotification(
            new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
        _thread.join(120000);
    }
    Entries of(const std::string& what, std::initializer_list<Poco::Int32> ids)
    {
        Entries result;
        for (Poco::Int32 id : ids)
            result.push_back(what + " " + std::to_string(id));
        return result;
    }

    TestDatabase _db{TestDatabase::Apps::none};
    AppJournal _journal;
    LogCapture _log;
    Orvik::Test::ConsoleCapture _console;
    Poco::NotificationQueue _queue;
    Poco::NotificationQueue _clientQueue;
    std::unique_ptr<AppManager> _pManager;
    Poco::Thread _thread;
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
    _db.addInstance(appA, 3, true, false, TestDatabase::_CONTROLLER + 1);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Library", 1), 1, true);
    _db.addInstance(_db.addApp(260, PROBE_A, "Foreign vendor"), 1, true);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, 9, "Nine"), 1, true);
    _db.addInstance(_db.addApp(OWN_VENDOR_ID, 7, "Seven"), 1, true);

    startManager({{PROBE_A, ProbeApp::factory(_journal, ProbeApp::waitForStop)},
                  {PROBE_B, ProbeApp::factory(_journal, ProbeApp::waitForStop)}});
    for (const Poco::Int32 id : {a1, b1, b2})
        EXPECT_TRUE(_journal.waitFor("start " + std::to_string(id)));
    _queue.enqueueNotification(new NotificationAppRequest);
    stopManager();

    EXPECT_EQ(_console.out(), "Invalid APP type (ap_app.app_id): 7\nInvalid APP type (ap_app.app_id): 9\n" +
                                  terminating(b2) + terminating(b1) + terminating(a1));
    EXPECT_EQ(_journal.starting("create"), of("create", {a1, b1, b2}));
    EXPECT_EQ(_journal.starting("delete"), of("delete", {b2, b1, a1}));
    EXPECT_EQ(_journal.starting("stopped").size(), 3u);
}

TEST_F(AppManagerTest, RestartsAnAppThatAsksWhileItsRowStillSaysSo)
{
    const Poco::Int32 again = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Again"), 1, true);
    const Poco::Int32 cleared = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_B, "Cleared"), 1, true);
    AppJournal& journal = _journal;
    TestDatabase& db = _db;

    startManager(
        {{PROBE_A, ProbeApp::factory(_journal, [&](ProbeApp&)
                                     { return journal.count("start " + std::to_string(again)) == 1; })},
         {PROBE_B, ProbeApp::factory(
                       _journal,
                       [&](ProbeApp&)
                       {
                           db.session().executeScript(
                               "UPDATE ap_app_instance SET start_at_startup=0 WHERE id_ap_app_instance=" +
                               std::to_string(cleared));
                           return true;
                       })}});
    EXPECT_TRUE(_journal.waitFor("delete " + std::to_string(again), 2));
    EXPECT_TRUE(_journal.waitFor("delete " + std::to_string(cleared)));
    stopManager();
    const std::string out = _console.out();

    EXPECT_EQ(_journal.starting("create"), of("create", {again, cleared, again}));
    EXPECT_NE(out.find("Restarting APP \"Again\" with app-instance-id=" + std::to_string(again) + "\n"),
              std::string::npos);
    EXPECT_EQ(out.find("Restarting APP \"Cleared\""), std::string::npos);
}

TEST_F(AppManagerTest, AnAppThatThrowsIsLoggedOnceAndNotRestarted)
{
    const Poco::Int32 app = _db.addApp(OWN_VENDOR_ID, PROBE_A, "Thrower");
    const Poco::Int32 poco = _db.addInstance(app, 1, true);
    const Poco::Int32 standard = _db.addInstance(app, 2, true);
    const Poco::Int32 unknown = _db.addInstance(app, 3, true);

    startManager({{PROBE_A, ProbeApp::factory(_journal,
                                              [=](ProbeApp& probe) -> bool
                                              {
                                                  if (probe.idAppInstance == poco)
                                                      throw Poco::FileNotFoundException("no such file");
                                                  if (probe.idAppInstance == standard)
                                                      throw std::runtime_error("plain failure");
                                                  throw 42;
                                              })}});
    for (const Poco::Int32 id : {poco, standard, unknown})
        EXPECT_TRUE(_journal.waitFor("delete " + std::to_string(id)));
    stopManager();

    EXPECT_EQ(_console.out().find("Restarting APP"), std::string::npos);
    EXPECT_EQ(_journal.starting("create").size(), 3u);
    std::string logged;
    for (const std::string& line : _log.linesOf(13))
        logged += line + "\n";
    EXPECT_EQ(_log.linesOf(13).size(), 3u);
    for (const std::string& text :
         {std::string("File not found: no such file"), std::string("plain failure"),
          Orvik::Utility::LboLogSystem::EXCEPTION_UNKNOWN, std::string("AppBase.cpp")})
        EXPECT_NE(logged.find(text), std::string::npos) << text;
}

TEST_F(AppManagerTest, QuickRestartsGoOnThroughTheBackOffAndStopDropsThePendingOne)
{
    const Poco::Int32 flapping = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Flapping"), 1, true);
    startManager({{PROBE_A, ProbeApp::factory(_journal, [](ProbeApp&) { return true; })}});
    // The first quick restart is immediate, the second one comes from the back-off's timer.
    EXPECT_TRUE(_journal.waitFor("delete " + std::to_string(flapping), 3));
    stopManager();
    EXPECT_EQ(_journal.starting("delete").size(), _journal.starting("create").size());
}

TEST_F(AppManagerTest, StopLeavesAnAppThatIgnoresItAliveUntilItsThreadHasEnded)
{
    const Poco::Int32 stubborn = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_A, "Stubborn"), 1, true);
    const Poco::Int32 polite = _db.addInstance(_db.addApp(OWN_VENDOR_ID, PROBE_B, "Polite"), 1, true);
    Poco::Event release;
    startManager({{PROBE_A, ProbeApp::factory(_journal,
                                              [&release](ProbeApp& app)
                                              {
                                                  release.wait();
                                                  app.note("released");  // touches the app after the stop
                                                  return true;
                                              })},
                  {PROBE_B, ProbeApp::factory(_journal, ProbeApp::waitForStop)}},
                 500);
    EXPECT_TRUE(_journal.waitFor("start " + std::to_string(stubborn)));
    EXPECT_TRUE(_journal.waitFor("start " + std::to_string(polite)));
    _queue.enqueueNotification(new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    EXPECT_TRUE(_thread.tryJoin(5000)) << "the stop waits the (short) grace period and no longer";

    EXPECT_EQ(_journal.starting("delete"), of("delete", {polite}));
    const Entries busy = _log.linesOf(102);
    ASSERT_EQ(busy.size(), 1u);
    EXPECT_NE(busy[0].find("Stubborn(" + std::to_string(stubborn) + ")"), std::string::npos);

    release.set();
    Poco::AutoPtr<Poco::Notification> pNf(_queue.waitDequeueNotification(60000));
    auto* pTermination = dynamic_cast<NotificationAppTermination*>(pNf.get());
    ASSERT_NE(pTermination, nullptr);
    _pManager->appTerminated(pTermination->pApp, true);  // joins the app's thread
    EXPECT_EQ(_journal.starting("delete"), of("delete", {polite, stubborn}));
}
