#include "ClientFixture.h"

#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::Client::Test
{

namespace
{

/// A notification that is neither a reply nor a stop request, told apart by its number.
class Marker : public Poco::Notification
{
public:
    explicit Marker(int aNumber) : number(aNumber) {}
    const int number;
};

Poco::AutoPtr<Poco::Notification> stopRequest()
{
    return new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING);
}

}  // namespace

class ServiceHelperTest : public ClientFixture
{
protected:
    void expectMarker(int number)
    {
        Poco::AutoPtr<Marker> pMarker = next<Marker>();
        ASSERT_FALSE(pMarker.isNull());
        EXPECT_EQ(pMarker->number, number);
    }
};

TEST_F(ServiceHelperTest, OtherNotificationsWaitInTheirOrderWhileABlockingCallWaits)
{
    start("test-network.json");
    responses.enqueueNotification(new Marker(1));
    responses.enqueueNotification(new Marker(2));

    ValueContainer value;
    ASSERT_EQ(helper->syncRP(key(100, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), value),
              ServiceHelper::SYNC_RESULT_SUCCESS);
    EXPECT_FLOAT_EQ(value.getReal(), 20.5f);
    expectMarker(1);
    expectMarker(2);
    EXPECT_TRUE(responses.empty());
}

TEST_F(ServiceHelperTest, StopDuringAWaitEndsTheCallAndStaysInFront)
{
    // The device never answers and the time-out is long: only the stop can end the call.
    TransactionTable::Settings patient;
    patient.apduTimeoutMs = 60000;
    start("test-network.json", patient);
    responses.enqueueNotification(new Marker(1));
    responses.enqueueNotification(new Marker(2));
    responses.enqueueNotification(stopRequest());
    responses.enqueueNotification(new Marker(3));

    ValueContainer value;
    value.setReal(1.0f);
    DataError error;
    EXPECT_EQ(helper->syncRP(key(300, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), value, &error),
              ServiceHelper::SYNC_RESULT_STOP);
    EXPECT_TRUE(value.isNull());
    EXPECT_FALSE(error.hasError());

    Poco::AutoPtr<Orvik::Utility::Notification> pStop = next<Orvik::Utility::Notification>();
    ASSERT_FALSE(pStop.isNull());
    EXPECT_EQ(pStop->getAction(), Orvik::Utility::Notification::STOP_RUNNING);
    expectMarker(1);
    expectMarker(2);
    expectMarker(3);

    // A stopped ReadRange leaves no "more items" behind.
    responses.enqueueNotification(stopRequest());
    ReadRangeAck::Result result;
    result.resultFlags = ReadRangeAck::RESULT_MORE_ITEMS;
    result.itemCnt = 7;
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_POSITION;
    range.count = 10;
    EXPECT_EQ(helper->syncRR(key(300, OBJECT_TREND_LOG, 1, PROP_LOG_BUFFER), range, result),
              ServiceHelper::SYNC_RESULT_STOP);
    EXPECT_FALSE(result.hasMoreItems());
    EXPECT_EQ(result.itemCnt, 0u);
}

TEST_F(ServiceHelperTest, RepliesToNonBlockingRequestsCarryTheirRequestIdAndAreKeptForTheLoop)
{
    start("test-network.json");
    ValueContainer active;
    active.setEnum(1);
    const Poco::UInt32 writeId =
        helper->asyncWP(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE), 8, active);

    // The blocking read sets the write's acknowledgement aside if it comes first.
    ValueContainer value;
    ASSERT_EQ(helper->syncRP(key(100, OBJECT_ANALOG_INPUT, 1, PROP_OBJECT_NAME), value),
              ServiceHelper::SYNC_RESULT_SUCCESS);
    EXPECT_EQ(value.getCharString(), "Zone Temperature");

    auto pAck = next<NotificationResponsePropertyAccess<int>>();
    ASSERT_FALSE(pAck.isNull());
    EXPECT_EQ(pAck->getRequestId(), writeId);
    EXPECT_EQ(pAck->getDeviceInstance(), 100u);
    EXPECT_EQ(pAck->getObjectIdentifier(), DataType::ObjectIdentifier(OBJECT_BINARY_OUTPUT, 1));
    EXPECT_EQ(pAck->getPropertyRef().propertyIdentifier, PROP_PRESENT_VALUE);
}

TEST_F(ServiceHelperTest, RequestsNeedBothQueues)
{
    ServiceHelper withoutQueues;
    ValueContainer value;
    EXPECT_THROW(withoutQueues.syncRP(key(1, OBJECT_DEVICE, 1, PROP_OBJECT_NAME), value),
                 Poco::IllegalStateException);
    EXPECT_THROW(withoutQueues.asyncWhoIs(DataType::BACnetAddress(), 0, 10), Poco::IllegalStateException);
}

TEST_F(ServiceHelperTest, RepliesForAHelperThatIsGoneAreDropped)
{
    start("test-network.json");
    {
        Poco::NotificationQueue ownQueue;
        ServiceHelper shortLived(&requests, &ownQueue);
        shortLived.asyncRPM(300,
                            {NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_DEVICE, 300),
                                                               {DataPropertyRef(PROP_OBJECT_NAME)})});
    }
    // The silent device's time-out reply would go to the deleted queue; the worker must drop it and
    // keep serving.
    ValueContainer value;
    EXPECT_EQ(helper->syncRP(key(300, OBJECT_DEVICE, 300, PROP_OBJECT_NAME), value),
              ServiceHelper::SYNC_RESULT_FAIL);
    EXPECT_EQ(helper->syncRP(key(100, OBJECT_DEVICE, 100, PROP_OBJECT_NAME), value),
              ServiceHelper::SYNC_RESULT_SUCCESS);
    EXPECT_TRUE(responses.empty());
}

TEST_F(ServiceHelperTest, SubscriberProcessIdentifiersAreNeverHandedOutTwice)
{
    const Poco::UInt32 first = ServiceHelper::getNewCOVSubscriberProcessIdentifier();
    const Poco::UInt32 second = ServiceHelper::getNewCOVSubscriberProcessIdentifier();
    EXPECT_NE(first, 0u);
    EXPECT_GT(second, first);
}

TEST(DataPropertyKeyTest, BuiltFromAppParameters)
{
    std::vector<ValueContainer> parameters(5);
    parameters[0].setUInt(266771);
    parameters[1].setEnum(OBJECT_TRENDLOG);
    parameters[2].setUInt(22);
    parameters[3].setEnum(PROP_OBJECT_LIST);
    parameters[4].setUInt(3);
    const DataPropertyKey withIndex(parameters, 0);
    EXPECT_EQ(withIndex.deviceInstance, 266771u);
    EXPECT_EQ(withIndex.objectIdentifier, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 22));
    EXPECT_EQ(withIndex.propertyRef, DataPropertyRef(PROP_OBJECT_LIST, 3));

    parameters[4].clear();
    EXPECT_FALSE(DataPropertyKey(parameters, 0).propertyRef.hasArrayIndex());
    parameters.pop_back();
    EXPECT_FALSE(DataPropertyKey(parameters, 0).propertyRef.hasArrayIndex());
    EXPECT_THROW(DataPropertyKey(parameters, 1), Poco::InvalidArgumentException);
    parameters[2].setUInt(BACNET_MAX_INSTANCE + 1);
    EXPECT_THROW(DataPropertyKey(parameters, 0), Poco::InvalidArgumentException);
}

}  // namespace Orvik::BACnet::Client::Test
