#include "BACnetClient/ManualClock.h"
#include "BACnetClient/ScriptedNetwork.h"
#include "ClientFixture.h"

#include "Orvik_BACnetClient/NotificationRequestWhoIs.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
const DataError END_OF_WINDOW(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME);

std::vector<Poco::UInt32> instancesOf(const std::vector<DataResponseWhoIs>& responses)
{
    std::vector<Poco::UInt32> instances;
    for (const DataResponseWhoIs& response : responses)
        instances.push_back(response.deviceInstance);
    std::sort(instances.begin(), instances.end());
    return instances;
}

}  // namespace

using ClientWorkerTest = ClientFixture;

TEST_F(ClientWorkerTest, SlowDeviceAnswersWithinTheTimeOutAndFailsPastIt)
{
    // The device answers after 400 ms.
    for (const long apduTimeoutMs : {30000L, 100L})
    {
        TransactionTable::Settings transactions = shortTransactions();
        transactions.apduTimeoutMs = apduTimeoutMs;
        transactions.apduRetries = 0;
        start("test-faults.json", transactions);
        ValueContainer value;
        DataError error;
        const auto result =
            helper->syncRP(key(300, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), value, &error);
        if (apduTimeoutMs > 400)
        {
            EXPECT_EQ(result, ServiceHelper::SYNC_RESULT_SUCCESS);
            EXPECT_FLOAT_EQ(value.getReal(), 20.0f);
        }
        else
        {
            EXPECT_EQ(result, ServiceHelper::SYNC_RESULT_FAIL);
            EXPECT_EQ(error, TIMEOUT);
        }
    }
}

TEST_F(ClientWorkerTest, WhoIsCollectsTheAnsweringDevicesOfTheRangeNetworkOrStation)
{
    start("test-network.json");
    DataType::BACnetAddress network5;
    network5.setNetworkNumber(5);
    DataType::BACnetAddress station;
    station.setNetworkNumber(0);
    ASSERT_TRUE(station.setMAC("127.0.0.1:47809"));  // the second device of the file
    const struct
    {
        DataType::BACnetAddress address;
        Poco::UInt32 low, high;
        std::vector<Poco::UInt32> instances;
    } cases[] = {{DataType::BACnetAddress(), 0, BACNET_MAX_INSTANCE, {100, 200, 400}},  // 300 is silent
                 {DataType::BACnetAddress(), 150, 450, {200, 400}},
                 {DataType::BACnetAddress(), 1000, 2000, {}},  // no answer still ends the window
                 {network5, 0, BACNET_MAX_INSTANCE, {400}},
                 {station, 0, BACNET_MAX_INSTANCE, {200}}};
    for (const auto& c : cases)
    {
        std::vector<DataResponseWhoIs> responses;
        ASSERT_EQ(helper->syncWhoIs(c.address, c.low, c.high, responses), ServiceHelper::SYNC_RESULT_SUCCESS);
        EXPECT_EQ(instancesOf(responses), c.instances) << c.low << "-" << c.high;
        for (const DataResponseWhoIs& response : responses)
        {
            if (response.deviceInstance == 200)
            {
                EXPECT_EQ(response.vendorID, 12345);
                EXPECT_EQ(response.address.getNetworkNumber(), 0);
            }
        }
    }
}

TEST_F(ClientWorkerTest, AsyncWhoIsAnswersEachIAmThenTheEndOfTheWindow)
{
    start("test-network.json");
    const Poco::UInt32 requestId = helper->asyncWhoIs(DataType::BACnetAddress(), 100, 200);
    std::vector<DataResponseWhoIs> iAms;
    for (int i = 0; i < 2; ++i)
    {
        auto pIAm = next<NotificationResponse<DataResponseWhoIs>>();
        ASSERT_FALSE(pIAm.isNull());
        EXPECT_EQ(pIAm->getRequestId(), requestId);
        iAms.push_back(pIAm->getResponse());
    }
    EXPECT_EQ(instancesOf(iAms), (std::vector<Poco::UInt32>{100, 200}));
    auto pEnd = next<NotificationResponse<DataError>>();
    ASSERT_FALSE(pEnd.isNull());
    EXPECT_EQ(pEnd->getRequestId(), requestId);
    EXPECT_EQ(pEnd->getResponse(), END_OF_WINDOW);
    EXPECT_TRUE(NotificationRequestWhoIs::isEndOfWindow(*pEnd));
}

TEST_F(ClientWorkerTest, AnswersTheSanityRequestOfAWatchdog)
{
    start("test-network.json");
    requests.enqueueNotification(new Orvik::Utility::Notification(
        Orvik::Utility::Notification::SANITY_REQUEST, Orvik::Utility::Notification::UNDEFINED, &responses));
    auto pAnswer = next<Orvik::Utility::Notification>();
    ASSERT_FALSE(pAnswer.isNull());
    EXPECT_EQ(pAnswer->getAction(), Orvik::Utility::Notification::SANITY_RESPONSE);
}

/// The worker over a scripted network on a manual clock: what the worker does itself.
class ClientWorkerOverScriptedNetwork : public ::testing::Test
{
protected:
    static ClientWorker::Settings settings()
    {
        ClientWorker::Settings workerSettings;
        workerSettings.transactionDeadlineMs = 5000;
        workerSettings.whoIsWindowMs = 1000;
        return workerSettings;
    }

    ClientWorkerOverScriptedNetwork() { worker.start(); }
    ~ClientWorkerOverScriptedNetwork() override
    {
        helper.reset();
        worker.stop();
    }

    DataPropertyKey anyKey() const
    {
        return DataPropertyKey(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1),
                               DataPropertyRef(PROP_PRESENT_VALUE));
    }

    /// The reply to request `requestId`, or null when none comes within `waitMs`.
    template <class T>
    Poco::AutoPtr<T> replyTo(Poco::UInt32 requestId, long waitMs = 10000)
    {
        Poco::AutoPtr<Poco::Notification> pNf(responses.waitDequeueNotification(waitMs));
        auto* pReply = dynamic_cast<T*>(pNf.get());
        if (pReply != nullptr)
        {
            EXPECT_EQ(pReply->getRequestId(), requestId);
        }
        return Poco::AutoPtr<T>(pReply, true);
    }

    bool nothingWithin(long waitMs)
    {
        return Poco::AutoPtr<Poco::Notification>(responses.waitDequeueNotification(waitMs)).isNull();
    }

    ManualClock clock;
    ScriptedNetwork network;
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ClientWorker worker{&requests, network, settings(), clock};
    std::unique_ptr<ServiceHelper> helper = std::make_unique<ServiceHelper>(&requests, &responses);
};

TEST_F(ClientWorkerOverScriptedNetwork, AnswersGoToTheirRequestsAndALateOneIsDropped)
{
    const Poco::UInt32 first = helper->asyncWP(anyKey(), 8, ValueContainer());
    const Poco::UInt32 second = helper->asyncWP(anyKey(), 9, ValueContainer());
    const std::vector<ScriptedNetwork::Call> calls = network.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    network.reply(calls[1].transactionId,
                  NetworkReply(DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED)));
    network.reply(calls[0].transactionId, NetworkReply(NetworkReply::Ack()));
    network.reply(calls[0].transactionId, NetworkReply(NetworkReply::Ack()));  // a second end: dropped
    EXPECT_FALSE(replyTo<NotificationResponsePropertyAccess<DataError>>(second).isNull());
    EXPECT_FALSE(replyTo<NotificationResponsePropertyAccess<int>>(first).isNull());
    EXPECT_TRUE(nothingWithin(200));
}

TEST_F(ClientWorkerOverScriptedNetwork, SafetyDeadlineAnswersTheTimeOutAndEndsTheTransaction)
{
    // The network never ends the transaction.
    const Poco::UInt32 requestId = helper->asyncWP(anyKey(), 8, ValueContainer());
    const Poco::UInt32 transactionId = network.waitForCalls(1).at(0).transactionId;
    clock.advance(settings().transactionDeadlineMs - 1);
    EXPECT_TRUE(nothingWithin(200));
    clock.advance(1);
    auto pTimeOut = replyTo<NotificationResponsePropertyAccess<DataError>>(requestId);
    ASSERT_FALSE(pTimeOut.isNull());
    EXPECT_EQ(pTimeOut->getResponse(), TIMEOUT);
    const std::vector<ScriptedNetwork::Call> calls = network.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].service, "end");
    EXPECT_EQ(calls[1].transactionId, transactionId);

    network.reply(transactionId, NetworkReply(NetworkReply::Ack()));  // too late
    EXPECT_TRUE(nothingWithin(200));
}

TEST_F(ClientWorkerOverScriptedNetwork, WhoIsWindowEndsOnTheClock)
{
    const Poco::UInt32 requestId = helper->asyncWhoIs(DataType::BACnetAddress(), 0, 1000);
    network.waitForCalls(1);
    DataResponseWhoIs iAm;
    iAm.deviceInstance = 100;
    network.announce(iAm);
    EXPECT_FALSE(replyTo<NotificationResponse<DataResponseWhoIs>>(requestId).isNull());
    EXPECT_TRUE(nothingWithin(200));
    clock.advance(settings().whoIsWindowMs);
    auto pEnd = replyTo<NotificationResponseBase>(requestId);
    ASSERT_FALSE(pEnd.isNull());
    EXPECT_TRUE(NotificationRequestWhoIs::isEndOfWindow(*pEnd));
}

TEST_F(ClientWorkerOverScriptedNetwork, RefusedRequestFailsAtOnceAndStopEndsWhatIsOpen)
{
    network.refuseSends(true);
    ValueContainer value;
    DataError error;
    EXPECT_EQ(helper->syncRP(anyKey(), value, &error), ServiceHelper::SYNC_RESULT_FAIL);
    EXPECT_EQ(error, DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER));

    network.refuseSends(false);
    const Poco::UInt32 requestId = helper->asyncWP(anyKey(), 8, ValueContainer());
    const Poco::UInt32 transactionId = network.waitForCalls(1).at(0).transactionId;
    worker.stop();
    ASSERT_TRUE(network.waitForClose());
    const std::vector<ScriptedNetwork::Call> calls = network.waitForCalls(2);
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[1].service, "end");
    EXPECT_EQ(calls[1].transactionId, transactionId);
    auto pStopped = replyTo<NotificationResponsePropertyAccess<DataError>>(requestId);
    ASSERT_FALSE(pStopped.isNull());
    EXPECT_EQ(pStopped->getResponse(), DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_ABORT_OTHER));
}

TEST(ClientWorkerWithoutNetwork, EveryRequestIsRefusedAtOnceWhenTheNetworkCannotBeOpened)
{
    ScriptedNetwork network;
    network.refuseOpen();
    Poco::NotificationQueue requests;
    Poco::NotificationQueue responses;
    ClientWorker worker(&requests, network);
    worker.start();
    {
        ServiceHelper helper(&requests, &responses);
        ValueContainer value;
        DataError error;
        const DataPropertyKey key(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1),
                                  DataPropertyRef(PROP_PRESENT_VALUE));
        EXPECT_EQ(helper.syncRP(key, value, &error), ServiceHelper::SYNC_RESULT_FAIL);
        EXPECT_EQ(error, DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER));
        // Without a network the Who-Is ends at once, not after its window (3 s by default).
        const Poco::UInt32 whoIs = helper.asyncWhoIs(DataType::BACnetAddress(), 0, 1000);
        Poco::AutoPtr<Poco::Notification> pEnd(responses.waitDequeueNotification(1000));
        auto* pReply = dynamic_cast<NotificationResponseBase*>(pEnd.get());
        ASSERT_NE(pReply, nullptr);
        EXPECT_EQ(pReply->getRequestId(), whoIs);
        EXPECT_FALSE(NotificationRequestWhoIs::isEndOfWindow(*pReply));
    }
    worker.stop();
    EXPECT_TRUE(network.waitForCalls(0).empty());
}

}  // namespace Orvik::BACnet::Client::Test
