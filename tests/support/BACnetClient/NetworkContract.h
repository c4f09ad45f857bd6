#pragma once

#include "BACnetClient/ManualClock.h"
#include "BACnetClient/RecordingListener.h"
#include "Eventually.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/TransactionTable.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

namespace Orvik::BACnet::Client::Test
{

/// One Network implementation with devices to talk to, as the contract tests of every Network need it.
///
/// The devices are those of sites/test-network.json, which every target offers:
///   - 100 ("Device A"): answers at once; analog-input 1 "Zone Temperature" with COV increment 0.5;
///   - 200 ("Device B"): answers at once; the tests make it silent;
///   - 4711: no such device on the network.
class NetworkContractTarget
{
public:
    static constexpr Poco::UInt32 _DEVICE_A = 100;
    static constexpr Poco::UInt32 _DEVICE_B = 200;
    static constexpr Poco::UInt32 _NO_DEVICE = 4711;

    virtual ~NetworkContractTarget() = default;

    /// The network under test, not yet opened; its transaction timers run on the clock given to the
    /// factory.
    virtual Network& network() = 0;
    /// The device ignores every request from now on (and answers again when no longer silent).
    virtual void setSilent(Poco::UInt32 deviceInstance, bool silent) = 0;
    /// Confirmed requests the device received so far, every try counted.
    virtual Poco::UInt32 requestCount(Poco::UInt32 deviceInstance) = 0;
    /// The object's present value changes on the device (COV subscribers are notified).
    virtual void changeValue(const DataObjectKey& object, float value) = 0;
};

/// An implementation for the contract suite: a name and a factory. Add one with
///   INSTANTIATE_TEST_SUITE_P(Name, NetworkContract, testing::Values(NetworkContractCase{"Name", make}));
/// in a source of tests/BACnetClient (the suite's tests are compiled there).
class NetworkContractCase
{
public:
    using Factory =
        std::function<std::unique_ptr<NetworkContractTarget>(const TransactionTable::Settings&, Clock&)>;

    std::string name;
    Factory make;

    friend std::ostream& operator<<(std::ostream& out, const NetworkContractCase& aCase)
    {
        return out << aCase.name;
    }
};

/// The contract fixture: the target made with short transaction settings on a manual clock, opened
/// with a recording listener, closed at the end.
class NetworkContract : public ::testing::TestWithParam<NetworkContractCase>
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
        target->network().open(listener);
    }

    void TearDown() override { target->network().close(); }

    Network& network() { return target->network(); }

    /// Waits (real time, generously) until the device has received `count` requests in all.
    bool waitForRequests(Poco::UInt32 deviceInstance, Poco::UInt32 count)
    {
        Orvik::Test::eventually([&] { return target->requestCount(deviceInstance) >= count; },
                                std::chrono::seconds(10), std::chrono::milliseconds(10));
        return target->requestCount(deviceInstance) == count;
    }

    ManualClock clock;
    RecordingListener listener;
    std::unique_ptr<NetworkContractTarget> target;
};

}  // namespace Orvik::BACnet::Client::Test
