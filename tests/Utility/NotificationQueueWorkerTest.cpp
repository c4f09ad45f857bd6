#include "Orvik_Utility/Notification.h"
#include "Orvik_Utility/NotificationQueueWorker.h"
#include "Orvik_Utility/Peripherals/NotificationBrindle.h"

#include <Poco/Thread.h>
#include <gtest/gtest.h>

#include <thread>

using Orvik::Utility::Notification;
using Orvik::Utility::NotificationQueueWorker;

namespace
{

Notification* hostNotification(Notification::Action action, Poco::NotificationQueue* pReply = nullptr,
                               Poco::Event* pEvent = nullptr)
{
    return new Notification(action, Notification::UNDEFINED, pReply, pEvent);
}

}  // namespace

TEST(NotificationQueueWorker, WaitReturnsNullWhenTheTimeRunsOutAndTheNotificationOtherwise)
{
    Poco::NotificationQueue given;
    EXPECT_EQ(NotificationQueueWorker(&given).getReadQueue(), &given);
    NotificationQueueWorker worker;
    EXPECT_TRUE(worker.waitDequeueNotification(20).isNull());
    EXPECT_TRUE(worker.waitDequeueNotification(0).isNull());

    worker.getReadQueue()->enqueueNotification(hostNotification(Notification::READ));
    worker.getReadQueue()->enqueueUrgentNotification(hostNotification(Notification::WRITE));
    auto first = worker.waitDequeueNotification(0);
    auto second = worker.waitDequeueNotification(-1);
    ASSERT_FALSE(first.isNull());
    ASSERT_FALSE(second.isNull());
    EXPECT_EQ(first.cast<Notification>()->getAction(), Notification::WRITE);
    EXPECT_EQ(second.cast<Notification>()->getAction(), Notification::READ);
    EXPECT_EQ(first->referenceCount(), 1) << "the caller holds the only reference";

    std::thread sender(
        [&] { worker.getReadQueue()->enqueueNotification(hostNotification(Notification::RESULT)); });
    auto pNf = worker.waitDequeueNotification(NotificationQueueWorker::_WAIT_FOREVER);
    sender.join();
    ASSERT_FALSE(pNf.isNull());
    EXPECT_EQ(pNf.cast<Notification>()->getAction(), Notification::RESULT);
}

TEST(NotificationQueueWorker, OnlyTheStopRequestEndsTheLoopAndSanityRequestsAreAnswered)
{
    NotificationQueueWorker worker;
    EXPECT_TRUE(worker.handleNotification(hostNotification(Notification::STOP_RUNNING)));
    for (auto action : {Notification::UNDEFINED, Notification::ERROR, Notification::BROADCAST,
                        Notification::SANITY_RESPONSE, static_cast<Notification::Action>(99)})
    {
        EXPECT_FALSE(worker.handleNotification(hostNotification(action))) << Notification::actionName(action);
    }
    EXPECT_FALSE(worker.handleNotification(new Orvik::Peripherals::NotificationBrindle("gpio17", 1)));
    EXPECT_FALSE(worker.handleNotification(Poco::AutoPtr<Poco::Notification>()));
    // Without reply queue or event the request is harmless.
    EXPECT_FALSE(worker.handleNotification(hostNotification(Notification::SANITY_REQUEST)));
    EXPECT_TRUE(worker.getReadQueue()->empty());

    Poco::NotificationQueue supervisor;
    Poco::Event answered;
    EXPECT_FALSE(
        worker.handleNotification(hostNotification(Notification::SANITY_REQUEST, &supervisor, &answered)));
    EXPECT_TRUE(answered.tryWait(0));
    Poco::AutoPtr<Poco::Notification> pReply(supervisor.dequeueNotification());
    auto pResponse = pReply.cast<Notification>();
    ASSERT_FALSE(pResponse.isNull());
    EXPECT_EQ(pResponse->getAction(), Notification::SANITY_RESPONSE);
    EXPECT_EQ(pResponse->getResponseAction(), Notification::SANITY_REQUEST);
    EXPECT_EQ(pResponse->getReplyQueue(), worker.getReadQueue()) << "names the worker that answered";
    EXPECT_TRUE(supervisor.empty());
}

TEST(NotificationQueueWorker, RunLoopServesUntilStopAndRecordsItsThread)
{
    NotificationQueueWorker worker;
    Poco::NotificationQueue supervisor;
    for (auto action :
         {Notification::READ, Notification::SANITY_REQUEST, Notification::STOP_RUNNING, Notification::WRITE})
        worker.getReadQueue()->enqueueNotification(hostNotification(action, &supervisor));
    EXPECT_FALSE(worker.isWorkerStarted());

    Poco::Thread thread("worker-under-test");
    thread.start(worker);
    thread.join();

    EXPECT_TRUE(worker.isWorkerStarted());
    EXPECT_EQ(worker.getWorkerThread(), &thread);
    EXPECT_EQ(worker.getReadQueue()->size(), 1) << "nothing after the stop request is taken";
    EXPECT_EQ(supervisor.size(), 1) << "the sanity request before it is answered";
}

TEST(NotificationQueueWorker, PublishesToEverySubscriber)
{
    Poco::NotificationQueue a, b;
    NotificationQueueWorker::SubscriberList subscribers{&a, &b};
    NotificationQueueWorker publisher(nullptr, &subscribers);
    Poco::AutoPtr<Poco::Notification> pNf(hostNotification(Notification::COV_EVENT));
    EXPECT_EQ(publisher.publish(pNf), 2u);
    EXPECT_EQ(NotificationQueueWorker().publish(pNf), 0u);
    EXPECT_EQ(a.size(), 1);
    EXPECT_EQ(b.size(), 1);
}

TEST(Notification, NamesItsActionsAndNumbersOutsideTheList)
{
    EXPECT_EQ(Poco::AutoPtr<Notification>(new Notification(Notification::RESULT))->name(),
              "Notification(RESULT)");
    EXPECT_EQ(Notification::actionName(static_cast<Notification::Action>(18)), "ACTION_18");
    EXPECT_EQ(Notification::actionName(static_cast<Notification::Action>(-1)), "ACTION_-1");
}
