#include "ClientFixture.h"

#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

#include "Eventually.h"

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError NO_ERROR;

ValueContainer enumerated(Poco::UInt32 value)
{
    ValueContainer container;
    container.setEnum(value);
    return container;
}

ValueContainer whole(Poco::UInt64 value)
{
    ValueContainer container;
    container.setUInt(value);
    return container;
}

ValueContainer real(float value)
{
    ValueContainer container;
    container.setReal(value);
    return container;
}

ValueContainer null()
{
    ValueContainer container;
    container.setNull();
    return container;
}

}  // namespace

class SimulatedWriteCovTest : public ClientFixture
{
protected:
    void SetUp() override { start("test-network.json"); }

    /// Writes and waits for the answer: no error for the acknowledgement.
    DataError write(const DataPropertyKey& key, Poco::UInt32 priority, const ValueContainer& value)
    {
        const Poco::UInt32 requestId = helper->asyncWP(key, priority, value);
        auto pReply = next<NotificationResponseBase>();
        EXPECT_EQ(pReply->getRequestId(), requestId);
        if (auto* pError = dynamic_cast<NotificationResponsePropertyAccess<DataError>*>(pReply.get()))
            return pError->getResponse();
        EXPECT_NE(dynamic_cast<NotificationResponsePropertyAccess<int>*>(pReply.get()), nullptr);
        return DataError();
    }

    DataError subscribe(const DataPropertyKey& key, NotificationRequestSubscribeCOV::Parameters parameters)
    {
        helper->asyncSubscribeCOV(key, parameters);
        auto pReply = next<NotificationResponseObjectAccess<DataError>>();
        return pReply.isNull() ? DataError() : pReply->getResponse();
    }

    /// Subscribes and takes the acknowledgement; the initial notification stays in the queue.
    void subscribeOk(const DataPropertyKey& key,
                     const NotificationRequestSubscribeCOV::Parameters& parameters)
    {
        helper->asyncSubscribeCOV(key, parameters);
        auto pAck = next<NotificationResponsePropertyAccess<int>>();
        ASSERT_FALSE(pAck.isNull());
        EXPECT_EQ(pAck->getPropertyKey(), key);
    }

    DataResponseCOV nextNotification()
    {
        auto pNotification = next<NotificationResponse<DataResponseCOV>>();
        return pNotification.isNull() ? DataResponseCOV() : pNotification->getResponse();
    }

    static NotificationRequestSubscribeCOV::Parameters parameters(Poco::UInt32 lifetime)
    {
        NotificationRequestSubscribeCOV::Parameters result;
        result.subscriberProcessIdentifier = ServiceHelper::getNewCOVSubscriberProcessIdentifier();
        result.lifetime = lifetime;
        return result;
    }

    const DataPropertyKey _fan = key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE);
    const DataObjectKey _zone = DataObjectKey(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
    const DataPropertyKey _wholeZone = DataPropertyKey(_zone, MAX_BACNET_PROPERTY_ID);
};

TEST_F(SimulatedWriteCovTest, PresentValueComesFromTheHighestPriorityThenTheRelinquishDefault)
{
    EXPECT_EQ(read(_fan).getEnum(), 0u);
    EXPECT_EQ(write(_fan, 8, enumerated(1)), NO_ERROR);
    EXPECT_EQ(read(_fan).getEnum(), 1u);
    EXPECT_EQ(write(_fan, 5, enumerated(0)), NO_ERROR);
    EXPECT_EQ(read(_fan).getEnum(), 0u);

    const ValueContainer slots = read(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY));
    ASSERT_EQ(slots.size(), 16u);
    EXPECT_TRUE(slots.at(3).isNull());
    EXPECT_EQ(slots.at(4).toUInt64(), 0u);
    EXPECT_EQ(slots.at(7).toUInt64(), 1u);
    EXPECT_EQ(read(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY, 8)).getEnum(), 1u);

    EXPECT_EQ(write(_fan, 5, null()), NO_ERROR);  // relinquish: priority 8 rules again
    EXPECT_EQ(read(_fan).getEnum(), 1u);
    EXPECT_EQ(write(_fan, 8, null()), NO_ERROR);
    EXPECT_EQ(read(_fan).getEnum(), 0u);
    EXPECT_EQ(write(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_RELINQUISH_DEFAULT), 16, enumerated(1)), NO_ERROR);
    EXPECT_EQ(read(_fan).getEnum(), 1u);
}

TEST_F(SimulatedWriteCovTest, WritesThatDevicesRefuse)
{
    const DataError denied(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED);
    const DataError outOfRange(ERROR_CLASS_PROPERTY, ERROR_CODE_VALUE_OUT_OF_RANGE);
    EXPECT_EQ(write(_fan, 8, real(1.0f)), DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_DATA_TYPE));
    EXPECT_EQ(write(_fan, 8, enumerated(2)), outOfRange);
    EXPECT_EQ(write(_fan, 0, enumerated(1)), outOfRange);
    EXPECT_EQ(write(_fan, 17, enumerated(1)), outOfRange);
    EXPECT_EQ(write(key(100, OBJECT_MULTI_STATE_VALUE, 1, PROP_PRESENT_VALUE), 8, whole(4)), outOfRange);
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 1, PROP_UNITS), 16, enumerated(62)), denied);
    EXPECT_EQ(write(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY, 3), 16, enumerated(1)), denied);
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 1, PROP_HIGH_LIMIT), 16, real(1.0f)),
              DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY));
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 9, PROP_PRESENT_VALUE), 16, real(1.0f)),
              DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    EXPECT_EQ(read(_fan).getEnum(), 0u);  // nothing of that changed the fan
}

TEST_F(SimulatedWriteCovTest, AnInputTakesWritesOnlyOutOfService)
{
    const DataPropertyKey zone(_zone, PROP_PRESENT_VALUE);
    EXPECT_EQ(write(zone, 16, real(30.0f)), DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED));
    ValueContainer yes;
    yes.setBool(true);
    EXPECT_EQ(write(DataPropertyKey(_zone, PROP_OUT_OF_SERVICE), 16, yes), NO_ERROR);
    EXPECT_EQ(write(zone, 16, real(30.0f)), NO_ERROR);
    EXPECT_FLOAT_EQ(read(zone).getReal(), 30.0f);
    EXPECT_TRUE(read(DataPropertyKey(_zone, PROP_STATUS_FLAGS))
                    .at(0)
                    .get<DataType::BitString>()
                    .getBit(STATUS_FLAG_OUT_OF_SERVICE));
}

TEST_F(SimulatedWriteCovTest, SubscriptionSendsTheFirstStateThenChangesBeyondTheIncrement)
{
    const NotificationRequestSubscribeCOV::Parameters subscription = parameters(0);
    subscribeOk(_wholeZone, subscription);
    DataResponseCOV notification = nextNotification();
    EXPECT_EQ(notification.subscriberProcessIdentifier, subscription.subscriberProcessIdentifier);
    EXPECT_EQ(notification.initiatingDeviceInstance, 100u);
    EXPECT_EQ(notification.monitoredObjectIdentifier, _zone.objectIdentifier);
    ASSERT_EQ(notification.values.size(), 2u);
    EXPECT_EQ(notification.values[0].propertyRef.propertyIdentifier, PROP_PRESENT_VALUE);
    EXPECT_FLOAT_EQ(notification.values[0].value.getReal(), 20.5f);
    EXPECT_EQ(notification.values[1].propertyRef.propertyIdentifier, PROP_STATUS_FLAGS);

    EXPECT_EQ(site->changeValue(_zone, real(20.7f)), NO_ERROR);  // below the increment of 0.5
    EXPECT_EQ(site->changeValue(_zone, real(21.1f)), NO_ERROR);
    notification = nextNotification();
    ASSERT_FALSE(notification.values.empty());
    EXPECT_FLOAT_EQ(notification.values[0].value.getReal(), 21.1f);
}

TEST_F(SimulatedWriteCovTest, WrittenValuesAreNotified)
{
    subscribeOk(DataPropertyKey(_fan.getObjectKey(), PROP_PRESENT_VALUE), parameters(300));
    DataResponseCOV notification = nextNotification();
    EXPECT_GT(notification.timeRemaining, 0u);
    EXPECT_LE(notification.timeRemaining, 300u);

    helper->asyncWP(_fan, 9, enumerated(1));
    ASSERT_FALSE(next<NotificationResponsePropertyAccess<int>>().isNull());
    notification = nextNotification();
    ASSERT_FALSE(notification.values.empty());
    EXPECT_EQ(notification.values[0].value.getEnum(), 1u);
}

TEST_F(SimulatedWriteCovTest, CancelledSubscriptionIsSilent)
{
    NotificationRequestSubscribeCOV::Parameters subscription = parameters(0);
    subscribeOk(_wholeZone, subscription);
    nextNotification();
    subscribeOk(_wholeZone, subscription);  // a renewal replaces the subscription
    nextNotification();
    EXPECT_EQ(site->countSubscriptions(_zone), 1u);

    subscription.cancelation = true;
    subscribeOk(_wholeZone, subscription);
    EXPECT_EQ(site->countSubscriptions(_zone), 0u);
    site->changeValue(_zone, real(40.0f));
    // A notification would come before the answer to this later request.
    read(DataPropertyKey(_zone, PROP_PRESENT_VALUE));
    EXPECT_TRUE(responses.empty());
}

TEST_F(SimulatedWriteCovTest, SubscriptionEndsWithItsLifetime)
{
    subscribeOk(_wholeZone, parameters(1));
    EXPECT_EQ(nextNotification().timeRemaining, 1u);
    EXPECT_TRUE(Orvik::Test::eventually([&] { return site->countSubscriptions(_zone) == 0; }));
}

TEST_F(SimulatedWriteCovTest, PropertySubscriptionWithItsOwnIncrement)
{
    NotificationRequestSubscribeCOV::Parameters subscription = parameters(0);
    subscription.covIncrementPresent = true;
    subscription.covIncrement = 2.0f;
    subscribeOk(DataPropertyKey(_zone, PROP_PRESENT_VALUE), subscription);
    nextNotification();
    site->changeValue(_zone, real(21.5f));
    site->changeValue(_zone, real(23.0f));
    const DataResponseCOV notification = nextNotification();
    ASSERT_FALSE(notification.values.empty());
    EXPECT_FLOAT_EQ(notification.values[0].value.getReal(), 23.0f);
}

TEST_F(SimulatedWriteCovTest, RefusedSubscriptions)
{
    EXPECT_EQ(subscribe(key(100, OBJECT_TRENDLOG, 1, MAX_BACNET_PROPERTY_ID), parameters(60)),
              DataError(ERROR_CLASS_OBJECT, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED));
    EXPECT_EQ(subscribe(key(100, OBJECT_ANALOG_INPUT, 7, MAX_BACNET_PROPERTY_ID), parameters(60)),
              DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
    EXPECT_EQ(subscribe(key(100, OBJECT_BINARY_INPUT, 1, PROP_UNITS), parameters(60)),
              DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY));
    EXPECT_EQ(subscribe(key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER), parameters(60)),
              DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_NOT_COV_PROPERTY));
}

TEST_F(SimulatedWriteCovTest, DriftingValueKeepsNotifying)
{
    startWithText(R"({"tickMs": 20, "devices": [{"instance": 9, "objects": [
        {"type": "analog-input", "instance": 1, "presentValue": 10, "covIncrement": 0.1,
         "drift": {"amplitude": 5, "periodSeconds": 0.5}}]}]})");
    const DataObjectKey drifting(9, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
    subscribeOk(DataPropertyKey(drifting, MAX_BACNET_PROPERTY_ID), parameters(0));
    const float first = nextNotification().values.at(0).value.getReal();
    const DataResponseCOV later = nextNotification();
    ASSERT_FALSE(later.values.empty());
    EXPECT_NE(later.values[0].value.getReal(), first);
}

}  // namespace Orvik::BACnet::Client::Test
