// The trend log pusher's cycle: retries after failed uploads, the wait that keeps its due time, and the
// stop request during an upload and during a wait longer than any 32-bit millisecond count.

#include <gtest/gtest.h>

#include <Poco/AutoPtr.h>
#include <Poco/Runnable.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include "ConsoleCapture.h"
#include "FtpServer.h"
#include "Orvik_Utility/Notification.h"
#include "TrendLogPusherRig.h"

using Orvik::Test::TrendLogPusherRig;

using Orvik::Test::FtpFault;
using Orvik::Test::FtpServer;

namespace
{

const std::string SITE = R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701,
  "vendorName": "Orvik", "modelName": "GW", "objects": [
  {"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
  {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
   "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": 300}}]}]})";

void postStop(Poco::NotificationQueue& queue)
{
    queue.enqueueUrgentNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
}

class TrendLogPusherCycle : public ::testing::Test
{
protected:
    Poco::TemporaryFile _databaseFile;
    FtpServer _ftp;
    TrendLogPusherRig _rig{_databaseFile.path(), SITE, 1001};
};

}  // namespace

TEST_F(TrendLogPusherCycle, RetriesFollowAFailedUploadAndFitIntoThePeriod)
{
    _rig.database().configure(_ftp.url(), "orvik", "secret", "", 1, 0);
    _rig.database().setParameter(8, std::string("15"));  // period, minutes
    _rig.database().setParameter(10, std::string("2"));  // retries
    _rig.database().setParameter(11, std::string("5"));  // minutes between retries
    auto pPusher = _rig.newPusher();
    pPusher->initialise();
    const Orvik::Test::ConsoleCapture console;
    _ftp.setFault(FtpFault::REFUSE_LOGIN);
    const Poco::Timestamp now;
    for (Poco::UInt32 expected : {1u, 2u, 0u})  // the scheduled attempt, two retries, then the schedule
    {
        pPusher->runAttempt();
        EXPECT_EQ(expected, pPusher->getSchedule().retries());
        EXPECT_EQ(expected != 0,
                  pPusher->getSchedule().nextAttempt(now) == now + 5 * Poco::Timespan::MINUTES);
    }
    pPusher->runAttempt();
    _ftp.setFault(FtpFault::NONE);
    pPusher->runAttempt();  // a success ends the retries
    EXPECT_EQ(0u, pPusher->getSchedule().retries());
    EXPECT_EQ(1u, _ftp.files().size());
}

TEST_F(TrendLogPusherCycle, TheWaitKeepsItsDueTimeWhenOtherNotificationsArrive)
{
    _rig.database().configure(_ftp.url(), "orvik", "secret", "", 1, 0);
    _rig.database().setParameter(8, std::string("1"));  // period, minutes
    _rig.database().setParameter(9, std::string("1"));  // offset, seconds
    // The clock reads half a second before a minute boundary, then 0.2 s and 1 s after it: the attempt
    // is due at the offset point just after the boundary, although a sanity request comes in between.
    const Poco::Timestamp::TimeVal minute = 60 * Poco::Timespan::SECONDS;
    const Poco::Timestamp boundary((Poco::Timestamp().epochMicroseconds() / minute + 1) * minute);
    const std::vector<Poco::Timestamp> readings{boundary - 500000, boundary + 200000, boundary + 1000000};
    std::size_t read = 0;
    auto timings = TrendLogPusherRig::quickTimings();
    timings.now = [&] { return readings[std::min(read++, readings.size() - 1)]; };
    auto pPusher = _rig.newPusher(timings);
    pPusher->initialise();
    read = 0;
    pPusher->getReadQueue()->enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::SANITY_REQUEST));
    pPusher->getReadQueue()->enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    EXPECT_TRUE(pPusher->waitForNextAttempt())
        << "a due time computed anew after the request lies a period on";
    EXPECT_EQ(read, readings.size());
}

TEST_F(TrendLogPusherCycle, StopRequestEndsAnUploadAndALongWaitAtOnce)
{
    _rig.database().configure(_ftp.url(), "orvik", "secret", "", 1, 0);
    _rig.database().setParameter(8, std::string("4294967295"));  // about 8000 years
    auto pPusher = _rig.newPusher();
    pPusher->initialise();

    // Stopped while reading records: the document is dropped, nothing is stored, and the stop request
    // stays for the cycle, which ends.
    const Poco::Nullable<std::string> positions = _rig.database().storedParameter(43);
    postStop(*pPusher->getReadQueue());
    EXPECT_TRUE(pPusher->createAndSendFiles());
    EXPECT_TRUE(_ftp.files().empty());
    EXPECT_EQ(positions, _rig.database().storedParameter(43));
    EXPECT_FALSE(pPusher->waitForNextAttempt());

    // A wait of thousands of years is waited (in parts) until the stop request comes.
    class LateStop : public Poco::Runnable
    {
    public:
        explicit LateStop(Poco::NotificationQueue& queue) : _queue(queue) {}
        void run() override
        {
            Poco::Thread::sleep(300);
            postStop(_queue);
        }

    private:
        Poco::NotificationQueue& _queue;
    } lateStop(*pPusher->getReadQueue());
    Poco::Thread stopper;
    stopper.start(lateStop);
    EXPECT_FALSE(pPusher->waitForNextAttempt());
    stopper.join();
    EXPECT_TRUE(_ftp.files().empty());
}

TEST_F(TrendLogPusherCycle, DocumentAnswersSanityRequestsBetweenPagesAndKeepsOtherNotifications)
{
    // A document longer than the supervisor's period must not get the gateway restarted: the request
    // waiting when the upload starts is answered before it ends, the other notification stays.
    _rig.database().configure(_ftp.url(), "orvik", "secret", "", 1, 0);
    auto pPusher = _rig.newPusher();
    pPusher->initialise();
    using Orvik::Utility::Notification;
    Poco::NotificationQueue answers;
    pPusher->getReadQueue()->enqueueNotification(
        new Notification(Notification::SANITY_REQUEST, Notification::SANITY_RESPONSE, &answers));
    pPusher->getReadQueue()->enqueueNotification(new Notification(Notification::BROADCAST));
    ASSERT_TRUE(pPusher->createAndSendFiles());
    EXPECT_EQ(1u, _ftp.files().size());
    EXPECT_EQ(1, answers.size());
    bool kept = false;
    while (Poco::AutoPtr<Poco::Notification> pNf = pPusher->getReadQueue()->dequeueNotification())
    {
        const auto* pHostNf = dynamic_cast<const Notification*>(pNf.get());
        kept = kept || (pHostNf != nullptr && pHostNf->getAction() == Notification::BROADCAST);
    }
    EXPECT_TRUE(kept);
}
