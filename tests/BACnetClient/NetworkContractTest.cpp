#include "BACnetClient/NetworkContract.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"

#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);

/// The simulated site of sites/test-network.json as a contract target.
class SimulatedSiteTarget : public NetworkContractTarget
{
public:
    SimulatedSiteTarget(const TransactionTable::Settings& settings, Clock& clock)
        : _pSite(Simulation::SimulatedSite::load(std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json"))
    {
        _pSite->setTransactionSettings(settings, clock);
    }

    Network& network() override { return *_pSite; }
    void setSilent(Poco::UInt32 deviceInstance, bool silent) override
    {
        _pSite->setSilent(deviceInstance, silent);
    }
    Poco::UInt32 requestCount(Poco::UInt32 deviceInstance) override
    {
        return deviceInstance == _NO_DEVICE ? 0 : _pSite->getRequestCount(deviceInstance);
    }
    void changeValue(const DataObjectKey& object, float value) override
    {
        ValueContainer newValue;
        newValue.setReal(value);
        _pSite->changeValue(object, newValue);
    }

private:
    std::unique_ptr<Simulation::SimulatedSite> _pSite;
};

const Poco::UInt32 DEVICE_A = NetworkContractTarget::_DEVICE_A;
const Poco::UInt32 DEVICE_B = NetworkContractTarget::_DEVICE_B;
const DataObjectKey ZONE_TEMPERATURE(DEVICE_A, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));

NotificationRequestSubscribeCOV::Parameters subscriber(Poco::UInt32 identifier)
{
    NotificationRequestSubscribeCOV::Parameters parameters;
    parameters.subscriberProcessIdentifier = identifier;
    parameters.lifetime = 300;
    return parameters;
}

}  // namespace

/// Moves the clock one APDU time-out at a time until the transaction has ended.
#define ADVANCE_UNTIL_REPLY(transactionId)                                             \
    for (int step = 0; step < 50 && !listener.waitForReply(transactionId, 50); ++step) \
    clock.advance(contractSettings().apduTimeoutMs)

TEST_P(NetworkContract, AnswersCorrelateToTheirTransactionsAndEndEachOnce)
{
    network().sendReadProperty(7, objectNameOf(DEVICE_B));
    network().sendReadProperty(3, objectNameOf(DEVICE_A));
    network().sendReadProperty(5,
                               DataPropertyKey(DEVICE_A, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 99),
                                               DataPropertyRef(PROP_PRESENT_VALUE)));
    ASSERT_TRUE(listener.waitUntil([&] { return listener.replies.size() == 3; }));
    EXPECT_EQ(nameIn(listener.repliesOf(3).at(0)), "Device A");
    EXPECT_EQ(nameIn(listener.repliesOf(7).at(0)), "Device B");
    EXPECT_EQ(errorIn(listener.repliesOf(5).at(0)).errorClass, ERROR_CLASS_OBJECT);
    for (Poco::UInt32 transactionId : {3u, 5u, 7u})
        EXPECT_EQ(listener.repliesOf(transactionId).size(), 1u) << transactionId;
}

TEST_P(NetworkContract, SilentOrMissingDeviceEndsWithTheTimeOutAfterItsRetries)
{
    target->setSilent(DEVICE_B, true);
    network().sendReadProperty(1, objectNameOf(DEVICE_B));
    network().sendReadProperty(2, objectNameOf(NetworkContractTarget::_NO_DEVICE));
    ADVANCE_UNTIL_REPLY(1);
    ADVANCE_UNTIL_REPLY(2);
    for (Poco::UInt32 transactionId : {1u, 2u})
    {
        ASSERT_EQ(listener.repliesOf(transactionId).size(), 1u) << transactionId;
        EXPECT_EQ(errorIn(listener.repliesOf(transactionId)[0]), TIMEOUT) << transactionId;
    }
    EXPECT_TRUE(waitForRequests(DEVICE_B, 1 + contractSettings().apduRetries));
}

TEST_P(NetworkContract, EndingATransactionFreesItsInvokeIdAndItsPlace)
{
    // More ended transactions than there are invoke ids, to a device that takes two at a time.
    target->setSilent(DEVICE_B, true);
    for (Poco::UInt32 transactionId = 1; transactionId <= 300; ++transactionId)
    {
        network().sendReadProperty(transactionId, objectNameOf(DEVICE_B));
        network().endTransaction(transactionId);
    }
    network().endTransaction(4242);  // not open: ignored
    target->setSilent(DEVICE_B, false);
    network().sendReadProperty(1000, objectNameOf(DEVICE_B));
    ASSERT_TRUE(listener.waitForReply(1000));
    EXPECT_EQ(nameIn(listener.repliesOf(1000).at(0)), "Device B");
    EXPECT_EQ(listener.replyCount(), 1u);  // nothing for the ended ones
}

TEST_P(NetworkContract, AtMostTheLimitOfRequestsIsOutstandingPerDevice)
{
    target->setSilent(DEVICE_B, true);
    for (Poco::UInt32 transactionId = 1; transactionId <= 3; ++transactionId)
        network().sendReadProperty(transactionId, objectNameOf(DEVICE_B));
    ASSERT_TRUE(waitForRequests(DEVICE_B, 2));
    // Another device is not held up by the queue.
    network().sendReadProperty(10, objectNameOf(DEVICE_A));
    ASSERT_TRUE(listener.waitForReply(10));
    EXPECT_EQ(target->requestCount(DEVICE_B), 2u);

    ADVANCE_UNTIL_REPLY(3);
    const Poco::UInt32 tries = 1 + contractSettings().apduRetries;
    EXPECT_TRUE(waitForRequests(DEVICE_B, 3 * tries));
    for (Poco::UInt32 transactionId = 1; transactionId <= 3; ++transactionId)
    {
        ASSERT_EQ(listener.repliesOf(transactionId).size(), 1u) << transactionId;
        EXPECT_EQ(errorIn(listener.repliesOf(transactionId)[0]), TIMEOUT) << transactionId;
    }
}

TEST_P(NetworkContract, IAmsAndCOVNotificationsReachTheListenerUntilClose)
{
    network().sendWhoIs(DataType::BACnetAddress(), DEVICE_A, DEVICE_B);
    ASSERT_TRUE(listener.waitUntil(
        [&]
        {
            return std::count_if(listener.iAms.begin(), listener.iAms.end(),
                                 [](const DataResponseWhoIs& iAm) {
                                     return iAm.deviceInstance == DEVICE_A || iAm.deviceInstance == DEVICE_B;
                                 }) >= 2;
        }));

    network().sendSubscribeCOV(
        1,
        DataPropertyKey(ZONE_TEMPERATURE.deviceInstance, ZONE_TEMPERATURE.objectIdentifier,
                        DataPropertyRef(MAX_BACNET_PROPERTY_ID)),
        subscriber(77));
    ASSERT_TRUE(listener.waitForReply(1));
    EXPECT_TRUE(std::holds_alternative<NetworkReply::Ack>(listener.repliesOf(1).at(0).payload));
    target->changeValue(ZONE_TEMPERATURE, 30.0f);
    const auto notifiedAt = [&](float value)
    {
        return std::any_of(listener.notifications.begin(), listener.notifications.end(),
                           [value](const DataResponseCOV& cov)
                           {
                               return cov.subscriberProcessIdentifier == 77 && !cov.values.empty() &&
                                      cov.values[0].value.getReal() == value;
                           });
    };
    ASSERT_TRUE(listener.waitUntil([&] { return notifiedAt(30.0f); }));

    // After close nothing arrives: no time-out of the open request, no notification.
    target->setSilent(DEVICE_B, true);
    network().sendReadProperty(2, objectNameOf(DEVICE_B));
    network().close();
    target->changeValue(ZONE_TEMPERATURE, 40.0f);
    clock.advance(60000);
    EXPECT_FALSE(listener.waitUntil([&] { return listener.replies.count(2) > 0 || notifiedAt(40.0f); }, 300));
}

INSTANTIATE_TEST_SUITE_P(SimulatedSite, NetworkContract,
                         testing::Values(NetworkContractCase{
                             "SimulatedSite", [](const TransactionTable::Settings& settings, Clock& clock)
                             { return std::make_unique<SimulatedSiteTarget>(settings, clock); }}),
                         [](const testing::TestParamInfo<NetworkContractCase>& info)
                         { return info.param.name; });

}  // namespace Orvik::BACnet::Client::Test
