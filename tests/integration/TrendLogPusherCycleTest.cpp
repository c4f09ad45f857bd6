// The trend log pusher's cycle: retries after failed uploads, the wait that keeps its due time, and the
// stop request during an upload and during a wait longer than any 32-bit millisecond count.

#include <Poco/AutoPtr.h>
#include <Poco/Thread.h>

#include <thread>

#include "Orvik_Utility/Notification.h"
#include "TrendLogPusherFixture.h"

using Orvik::Utility::Notification;

namespace
{

void post(TrendLogPusherFixture::AppTrendLogPusher& pusher, Notification::Action action)
{
    pusher.getReadQueue()->enqueueNotification(new Notification(action));
}

using TrendLogPusherCycle = TrendLogPusherFixture;

}  // namespace

TEST_F(TrendLogPusherCycle, RetriesFollowAFailedUploadAndFitIntoThePeriod)
{
    serve(smallSite());
    // period 15 minutes, 2 retries 5 minutes apart
    for (const auto& [number, text] : {std::pair<int, const char*>{8, "15"}, {10, "2"}, {11, "5"}})
        _pRig->database().setParameter(number, std::string(text));
    start();
    ftp().setFault(FtpFault::REFUSE_LOGIN);
    const Poco::Timestamp now;
    for (Poco::UInt32 expected : {1u, 2u, 0u})  // the scheduled attempt, two retries, then the schedule
    {
        _pPusher->runAttempt();
        EXPECT_EQ(expected, _pPusher->getSchedule().retries());
        EXPECT_EQ(expected != 0,
                  _pPusher->getSchedule().nextAttempt(now) == now + 5 * Poco::Timespan::MINUTES);
    }
    _pPusher->runAttempt();
    ftp().setFault(FtpFault::NONE);
    _pPusher->runAttempt();  // a success ends the retries
    EXPECT_EQ(0u, _pPusher->getSchedule().retries());
    EXPECT_EQ(1u, ftp().files().size());
}

TEST_F(TrendLogPusherCycle, TheWaitKeepsItsDueTimeWhenOtherNotificationsArrive)
{
    serve(smallSite());
    _pRig->database().setParameter(8, std::string("1"));  // period, minutes
    _pRig->database().setParameter(9, std::string("1"));  // offset, seconds
    // The clock reads half a second before a minute boundary, then 0.2 s and 1 s after it: the attempt
    // is due at the offset point just after the boundary, although a sanity request comes in between.
    const Poco::Timestamp::TimeVal minute = 60 * Poco::Timespan::SECONDS;
    const Poco::Timestamp boundary((Poco::Timestamp().epochMicroseconds() / minute + 1) * minute);
    const std::vector<Poco::Timestamp> readings{boundary - 500000, boundary + 200000, boundary + 1000000};
    std::size_t read = 0;
    auto timings = TrendLogPusherRig::quickTimings();
    timings.now = [&] { return readings[std::min(read++, readings.size() - 1)]; };
    start(timings);
    read = 0;
    post(*_pPusher, Notification::SANITY_REQUEST);
    post(*_pPusher, Notification::STOP_RUNNING);
    EXPECT_TRUE(_pPusher->waitForNextAttempt())
        << "a due time computed anew after the request lies a period on";
    EXPECT_EQ(read, readings.size());
}

TEST_F(TrendLogPusherCycle, StopRequestEndsAnUploadAndALongWaitAtOnce)
{
    serve(smallSite());
    _pRig->database().setParameter(8, std::string("4294967295"));  // about 8000 years
    start();

    // Stopped while reading records: the document is dropped, nothing is stored, and the stop request
    // stays for the cycle, which ends.
    const Poco::Nullable<std::string> found = positions();
    post(*_pPusher, Notification::STOP_RUNNING);
    EXPECT_TRUE(_pPusher->createAndSendFiles());
    EXPECT_TRUE(ftp().files().empty());
    EXPECT_EQ(found, positions());
    EXPECT_FALSE(_pPusher->waitForNextAttempt());

    // A wait of thousands of years is waited (in parts) until the stop request comes.
    std::thread stopper(
        [this]
        {
            Poco::Thread::sleep(300);
            post(*_pPusher, Notification::STOP_RUNNING);
        });
    EXPECT_FALSE(_pPusher->waitForNextAttempt());
    stopper.join();
    EXPECT_TRUE(ftp().files().empty());
}

TEST_F(TrendLogPusherCycle, DocumentAnswersSanityRequestsBetweenPagesAndKeepsOtherNotifications)
{
    // A document longer than the supervisor's period must not get the gateway restarted: the request
    // waiting when the upload starts is answered before it ends, the other notification stays.
    serve(smallSite());
    start();
    Poco::NotificationQueue answers;
    _pPusher->getReadQueue()->enqueueNotification(
        new Notification(Notification::SANITY_REQUEST, Notification::SANITY_RESPONSE, &answers));
    post(*_pPusher, Notification::BROADCAST);
    ASSERT_TRUE(_pPusher->createAndSendFiles());
    EXPECT_EQ(1u, ftp().files().size());
    EXPECT_EQ(1, answers.size());
    bool kept = false;
    while (Poco::AutoPtr<Poco::Notification> pNf = _pPusher->getReadQueue()->dequeueNotification())
    {
        const auto* pHostNf = dynamic_cast<const Notification*>(pNf.get());
        kept = kept || (pHostNf != nullptr && pHostNf->getAction() == Notification::BROADCAST);
    }
    EXPECT_TRUE(kept);
}
