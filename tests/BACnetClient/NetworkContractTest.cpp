#include "BACnet/ManualClock.h"
#include "BACnetClient/InteropNetwork.h"
#include "BACnetClient/RecordingListener.h"
#include "Eventually.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/IP/SiteServer.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

using BACnet::Test::ManualClock;

namespace
{

const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
const std::string SITE = std::string(ORVIK_SOURCE_DIR) + "/sites/test-network.json";
// The devices of the site that every target serves: A answers at once, its analog-input 1 "Zone
// Temperature" has COV increment 0.5; B answers at once until a test silences it; 4711 is on no network.
const Poco::UInt32 DEVICE_A = 100;
const Poco::UInt32 DEVICE_B = 200;
const Poco::UInt32 NO_DEVICE = 4711;
const DataObjectKey ZONE(DEVICE_A, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));

/// One Network implementation with the devices of the site, as every Network must pass this suite.
class Target
{
public:
    virtual ~Target() = default;
    /// The network under test, not yet opened; its timers run on the clock given to the factory.
    virtual Network& network() = 0;
    /// The device ignores every request from now on (and answers again when no longer silent).
    void setSilent(Poco::UInt32 deviceInstance, bool silent) { pSite->setSilent(deviceInstance, silent); }
    /// Confirmed requests the device received so far, every try counted.
    Poco::UInt32 requestCount(Poco::UInt32 deviceInstance) { return pSite->getRequestCount(deviceInstance); }
    /// The zone temperature changes on device A (COV subscribers are notified).
    virtual void changeZone(float value) = 0;

protected:
    Device::Site* pSite = nullptr;  ///< the devices
};

/// The simulated site, in-process.
class SimulatedSiteTarget : public Target
{
public:
    SimulatedSiteTarget(const TransactionTable::Settings& settings, Clock& clock)
        : _pSite(Simulation::SimulatedSite::load(SITE))
    {
        _pSite->setTransactionSettings(settings, clock);
        pSite = &_pSite->getSite();
    }
    Network& network() override { return *_pSite; }
    void changeZone(float value) override { _pSite->changeValue(ZONE, ValueContainer(BACnetValue(value))); }

private:
    std::unique_ptr<Simulation::SimulatedSite> _pSite;
};

/// The devices served by orvik-site's server, reached by our BACnet/IP network on the loopback with the
/// site's devices bound statically (a device that a test silences first would never be found by Who-Is),
/// except the missing one, which it looks for: our client and our server over the wire.
class SiteServerTarget : public Target
{
public:
    SiteServerTarget(const TransactionTable::Settings& settings, Clock& clock)
        : _pSite(Device::Site::load(SITE)), _server(*_pSite, Device::IP::SiteServer::Settings())
    {
        IP::BACnetIPNetwork::Settings network =
            Orvik::Test::InteropNetwork::settings(_server.endpoints().front().address);
        network.transactions = settings;
        for (const Device::IP::SiteServer::Endpoint& endpoint : _server.endpoints())
            network.staticBindings.push_back({endpoint.instance, endpoint.address,
                                              endpoint.routed.value_or(DataType::BACnetAddress()),
                                              std::nullopt});
        _pNetwork = std::make_unique<IP::BACnetIPNetwork>(network, clock);
        _server.start();
        pSite = _pSite.get();
    }
    Network& network() override { return *_pNetwork; }
    void changeZone(float value) override
    {
        std::vector<Device::COVDelivery> notifications;
        _pSite->changeValue(DEVICE_A, ZONE.objectIdentifier, ValueContainer(BACnetValue(value)),
                            notifications);
        _server.deliver(notifications);
    }

private:
    std::unique_ptr<Device::Site> _pSite;
    Device::IP::SiteServer _server;
    std::unique_ptr<IP::BACnetIPNetwork> _pNetwork;
};

using Factory = std::function<std::unique_ptr<Target>(const TransactionTable::Settings&, Clock&)>;

/// A target of the suite: its name (the test's and ctest's) and its factory.
struct TargetCase
{
    std::string name;
    Factory make;
    friend std::ostream& operator<<(std::ostream& out, const TargetCase& aCase) { return out << aCase.name; }
};

template <class T>
TargetCase targetOf(const std::string& name)
{
    return {name, [](const TransactionTable::Settings& settings, Clock& clock)
            { return std::make_unique<T>(settings, clock); }};
}

/// Every implementation.
std::vector<TargetCase> targets()
{
    return {targetOf<SimulatedSiteTarget>("SimulatedSite"),
            targetOf<SiteServerTarget>("BACnetIPAgainstOrvikSite")};
}

}  // namespace

/// The target made with short transaction settings on a manual clock, opened with a recording listener.
class NetworkContract : public ::testing::TestWithParam<TargetCase>
{
protected:
    static TransactionTable::Settings contractSettings()
    {
        TransactionTable::Settings settings;
        settings.apduTimeoutMs = 1000;
        settings.apduRetries = 2;
        settings.maxOutstanding = 2;
        return settings;
    }

    void SetUp() override
    {
        target = GetParam().make(contractSettings(), clock);
        network().open(listener);
    }
    void TearDown() override { network().close(); }

    Network& network() { return target->network(); }

    /// Waits (real time, generously) until the device has received `count` requests in all.
    bool waitForRequests(Poco::UInt32 deviceInstance, Poco::UInt32 count)
    {
        Orvik::Test::eventually([&] { return target->requestCount(deviceInstance) >= count; },
                                std::chrono::seconds(10), std::chrono::milliseconds(10));
        return target->requestCount(deviceInstance) == count;
    }

    /// Moves the clock one APDU time-out at a time until the transaction has ended.
    void advanceUntilReply(Poco::UInt32 transactionId)
    {
        for (int step = 0; step < 50 && !listener.waitForReply(transactionId, 50); ++step)
            clock.advance(contractSettings().apduTimeoutMs);
    }

    void expectTimeOuts(std::initializer_list<Poco::UInt32> transactionIds)
    {
        for (Poco::UInt32 transactionId : transactionIds)
        {
            ASSERT_EQ(listener.repliesOf(transactionId).size(), 1u) << transactionId;
            EXPECT_EQ(errorIn(listener.repliesOf(transactionId)[0]), TIMEOUT) << transactionId;
        }
    }

    ManualClock clock;
    RecordingListener listener;
    std::unique_ptr<Target> target;
};

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
    network().sendReadProperty(2, objectNameOf(NO_DEVICE));
    advanceUntilReply(1);
    advanceUntilReply(2);
    expectTimeOuts({1, 2});
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
    advanceUntilReply(1000);  // a device still busy with the burst may lose the first try
    EXPECT_EQ(nameIn(listener.firstReply(1000)), "Device B");
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

    advanceUntilReply(3);
    EXPECT_TRUE(waitForRequests(DEVICE_B, 3 * (1 + contractSettings().apduRetries)));
    expectTimeOuts({1, 2, 3});
}

TEST_P(NetworkContract, IAmsAndCOVNotificationsReachTheListenerUntilClose)
{
    network().sendWhoIs(DataType::BACnetAddress(), DEVICE_A, DEVICE_B);
    const auto answered = [&](Poco::UInt32 instance)
    {
        return std::any_of(listener.iAms.begin(), listener.iAms.end(),
                           [instance](const DataResponseWhoIs& iAm)
                           { return iAm.deviceInstance == instance; });
    };
    ASSERT_TRUE(listener.waitUntil([&] { return answered(DEVICE_A) && answered(DEVICE_B); }));

    NotificationRequestSubscribeCOV::Parameters subscriber;
    subscriber.subscriberProcessIdentifier = 77;
    subscriber.lifetime = 300;
    network().sendSubscribeCOV(1, DataPropertyKey(ZONE, MAX_BACNET_PROPERTY_ID), subscriber);
    EXPECT_TRUE(std::holds_alternative<NetworkReply::Ack>(listener.firstReply(1).payload));
    target->changeZone(30.0f);
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
    target->changeZone(40.0f);
    clock.advance(60000);
    EXPECT_FALSE(listener.waitUntil([&] { return listener.replies.count(2) > 0 || notifiedAt(40.0f); }, 300));
}

INSTANTIATE_TEST_SUITE_P(Networks, NetworkContract, testing::ValuesIn(targets()),
                         [](const auto& info) { return info.param.name; });

}  // namespace Orvik::BACnet::Client::Test
