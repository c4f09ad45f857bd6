#include "Eventually.h"
#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "WatsonBridgeHarness.h"

#include "Orvik_BACnetClient/DataObjectKey.h"

#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using Orvik::Test::eventually;
using Orvik::Test::MosquittoBroker;
using Orvik::Test::MosquittoProbe;
using Orvik::Test::WatsonBridgeHarness;

namespace
{

const std::string BOILER_COV = WatsonBridgeHarness::_BOILER_TOPIC + "/evt/COV/fmt/json";
const Orvik::BACnet::Client::DataObjectKey HALL(2001, Orvik::BACnet::DataType::ObjectIdentifier(0, 1));

/// Boiler events that carry `member`.
std::size_t eventsWith(const MosquittoProbe& probe, const std::string& member)
{
    std::size_t count = 0;
    for (const auto& message : probe.messagesOn(BOILER_COV))
    {
        Poco::JSON::Parser parser;
        if (parser.parse(message.payload).extract<Poco::JSON::Object::Ptr>()->getObject("d")->has(member))
        {
            ++count;
        }
    }
    return count;
}

}  // namespace

TEST(WatsonBridgeScheduleTest, TrendLogWithoutCovIsPolledUnderItsOwnName)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "iot-2/#");
    WatsonBridgeHarness harness(broker.port(), false);
    harness.setParameter(9, "1");
    // The trend log follows the pump in the reply: it must not take the pump's name.
    harness.setParameter(10, "[device:2001/binary-value:3, device:2001/trend-log:4]");
    harness.start();

    ASSERT_TRUE(eventually([&] { return eventsWith(cloud, "HallLog_log-buffer") >= 2; }))
        << harness.console();
    EXPECT_EQ(0u, eventsWith(cloud, "Pump_log-buffer"));
    EXPECT_EQ(0u, harness.site().countSubscriptions(Orvik::BACnet::Client::DataObjectKey(
                      2001, Orvik::BACnet::DataType::ObjectIdentifier(20, 4))));
}

TEST(WatsonBridgeScheduleTest, ShortLifetimesAreRenewed)
{
    MosquittoBroker broker;
    MosquittoProbe cloud(broker, "iot-2/#");
    WatsonBridgeHarness harness(broker.port(), false);
    harness.setParameter(8, "2");
    harness.setParameter(10, "[device:2001/analog-input:1]");
    harness.start();
    ASSERT_TRUE(eventually([&] { return eventsWith(cloud, "Hall_present-value") >= 1; }))
        << harness.console();
    // Well past the lifetime the subscription still stands, renewed every second.
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(1u, harness.site().countSubscriptions(HALL));
    const std::size_t before = eventsWith(cloud, "Hall_present-value");
    EXPECT_TRUE(eventually([&] { return eventsWith(cloud, "Hall_present-value") > before; }));
}

TEST(WatsonBridgeScheduleTest, NoLifetimeOrOneSecondIsNotABusyLoop)
{
    MosquittoBroker broker;
    for (const std::string lifetime : {"0", "1"})
    {
        MosquittoProbe cloud(broker, "iot-2/#");
        WatsonBridgeHarness harness(broker.port(), false);
        harness.setParameter(8, lifetime);
        harness.setParameter(10, "[device:2001/analog-input:1]");
        harness.start();
        ASSERT_TRUE(eventually([&] { return eventsWith(cloud, "Hall_present-value") >= 1; }))
            << harness.console();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        // One identity read and a subscription, renewed at most once a second.
        EXPECT_LE(harness.site().getRequestCount(2001), 8u) << "lifetime " << lifetime;
    }
}
