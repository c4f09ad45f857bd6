// The supervisor of a running gateway: it feeds the service manager's watchdog only while the app
// manager, the client worker and the watched workers answer, and names one that does not.
#include "AppJournal.h"
#include "Eventually.h"
#include "GatewayRig.h"
#include "NotifySocket.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_Utility/NotificationQueueWorker.h"
#include "ProbeApp.h"
#include "StatusFile.h"
#include "Supervisor.h"
#include "SystemdNotifier.h"
#include "TestDatabase.h"

#include <Poco/Channel.h>
#include <Poco/Event.h>
#include <Poco/Logger.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include <stdlib.h>

#include <memory>
#include <sstream>

using namespace Orvik::BACnet::App;
using Orvik::Test::AppJournal;
using Orvik::Test::ProbeApp;
using Orvik::Test::TestDatabase;

namespace
{

const Poco::Int32 PROBE_A = 901;
const Poco::Int32 PROBE_B = 902;

/// A gateway rig whose database holds no apps but the test's; its manager runs the probe apps.
class SupervisorTest : public testing::Test, public Orvik::Test::GatewayRig
{
protected:
    SupervisorTest() : GatewayRig(4194000, std::make_unique<TestDatabase>(TestDatabase::Apps::none)) {}

    AppJournal _journal;
};

/// Log lines into the journal ("log <text>").
class JournalChannel : public Poco::Channel
{
public:
    explicit JournalChannel(AppJournal& journal) : _journal(journal) {}
    void log(const Poco::Message& message) override { _journal.record("log " + message.getText()); }

private:
    AppJournal& _journal;
};

}  // namespace

TEST_F(SupervisorTest, FeedsTheWatchdogOnlyWhileEveryWorkerAnswersAndNamesAStuckApp)
{
    const Poco::Int32 stuck = db().addInstance(db().addApp(OWN_VENDOR_ID, PROBE_A, "Stuck"), 1, true);
    db().addInstance(db().addApp(OWN_VENDOR_ID, PROBE_B, "Polite"), 1, true);
    Orvik::Utility::NotificationQueueWorker clientWorker(&clientQueue());
    Poco::Thread clientThread;
    clientThread.start(clientWorker);
    Orvik::Test::NotifySocket notifySocket;
    ::setenv("NOTIFY_SOCKET", notifySocket.path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "400000", 1);
    const Orvik::Gateway::SystemdNotifier notifier;
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    Poco::Logger& log = Poco::Logger::get("supervision-test");
    log.setChannel(new JournalChannel(_journal));
    Poco::TemporaryFile statusPath;
    const Orvik::Gateway::StatusFile statusFile(statusPath.path());

    Poco::Event release;
    startManager({{PROBE_A, ProbeApp::factory(_journal,
                                              [&release](ProbeApp& app)
                                              {
                                                  release.wait();  // stuck: its queue is not read
                                                  return ProbeApp::waitForStop(app);
                                              })},
                  {PROBE_B, ProbeApp::factory(_journal, ProbeApp::waitForStop)}});
    Orvik::Gateway::Supervisor supervisor(managerQueue(), clientQueue(), notifier, statusFile, log,
                                          Poco::Timespan(0, 100000), notifier.watchdogPeriod());
    Poco::NotificationQueue recorderQueue;  // read once the stuck app is released
    supervisor.watch(recorderQueue, "trend log recorder");
    supervisor.start();

    const std::string silence = "log Supervision: Stuck(" + std::to_string(stuck) + ") has not answered";
    ASSERT_TRUE(Orvik::Test::eventually([&] { return !_journal.starting(silence).empty(); }));
    const int keepAlives = notifySocket.count("WATCHDOG=1");
    Poco::Thread::sleep(500);  // five more rounds
    EXPECT_EQ(notifySocket.count("WATCHDOG=1"), keepAlives);
    EXPECT_EQ(_journal.starting("log Supervision: Polite").size(), 0u);
    EXPECT_EQ(_journal.starting("log Supervision: trend log recorder has not answered").size(), 1u);
    std::ostringstream shown;
    statusFile.print(shown);
    EXPECT_NE(shown.str().find("NOT ALIVE, not answering: Stuck(" + std::to_string(stuck) + ")"),
              std::string::npos)
        << shown.str();
    EXPECT_NE(shown.str().find("Polite("), std::string::npos) << shown.str();

    release.set();
    Orvik::Utility::NotificationQueueWorker recorder(&recorderQueue);
    Poco::Thread recorderThread;
    recorderThread.start(recorder);
    EXPECT_TRUE(Orvik::Test::eventually([&] { return notifySocket.count("WATCHDOG=1") > keepAlives; }));
    const std::string again = "log Supervision: Stuck(" + std::to_string(stuck) + ") answers again";
    EXPECT_TRUE(Orvik::Test::eventually([&] { return !_journal.starting(again).empty(); }));

    supervisor.stop();
    EXPECT_TRUE(stopManager());
    clientQueue().enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    clientThread.join();
    recorderQueue.enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    recorderThread.join();
}
