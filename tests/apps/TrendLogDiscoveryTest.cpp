// The search for devices and trend logs: slow devices searched side by side come out in the order of
// their I-Ams, the app answers sanity requests while it searches, and a stop request ends the search.

#include <gtest/gtest.h>

#include <Poco/Clock.h>
#include <Poco/TemporaryFile.h>

#include <chrono>
#include <memory>

#include <string>
#include <thread>
#include <vector>

#include "Orvik_Utility/Notification.h"
#include "TrendLogPusherRig.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
{

namespace
{

using Utility::Notification;

/// Devices 2001 and up answering `delayMs` late (within the rig's time-out of 300 ms), with one trend
/// log each but the first, which has six: its search ends last, although it answers the Who-Is first.
std::string slowSite(int devices, int delayMs)
{
    std::string site = R"({"devices": [{"instance": 1001})";
    for (int i = 0; i < devices; ++i)
    {
        site += R"(, {"instance": )" + std::to_string(2001 + i) + R"(, "faults": {"delayMs": )" +
                std::to_string(delayMs) + R"(}, "objects": [{"type": "analog-value", "instance": 1})";
        for (int log = 1; log <= (i == 0 ? 6 : 1); ++log)
        {
            site +=
                R"(, {"type": "trend-log", "instance": )" + std::to_string(log) +
                R"(, "logs": "analog-value:1", "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60,
                    "count": 10}})";
        }
        site += "]}";
    }
    return site + "]}";
}

class TrendLogDiscoveryTest : public testing::Test
{
protected:
    static constexpr int _DEVICES = 12;

    TrendLogDiscoveryTest() : _rig(_database.path(), slowSite(_DEVICES, 120), 1001)
    {
        _rig.database().configure("ftp://127.0.0.1:1", "orvik", "secret", "", 2, 0);
        _pPusher = _rig.newPusher();
        // More devices than one Who-Is range takes: the ranges' Who-Is run too, and find every device again.
        _pPusher->setDiscoveryLimits({8, 50, 5, 20});
    }

    void post(Notification* pNotification) { _pPusher->getReadQueue()->enqueueNotification(pNotification); }

    Poco::TemporaryFile _database;
    Orvik::Test::TrendLogPusherRig _rig;
    std::unique_ptr<AppTrendLogPusher> _pPusher;
};

TEST_F(TrendLogDiscoveryTest, SlowDevicesComeOutInTheirOrderWhileSanityRequestsAreAnswered)
{
    // Waiting when the search starts, the request must be answered before the search ends.
    Poco::NotificationQueue answers;
    post(new Notification(Notification::SANITY_REQUEST, Notification::SANITY_RESPONSE, &answers));
    Poco::Clock answered(0);
    std::thread watcher(
        [&]
        {
            if (Poco::AutoPtr<Poco::Notification>(answers.waitDequeueNotification(20000)))
                answered.update();
        });
    _pPusher->initialise();
    const Poco::Clock searched;
    watcher.join();
    EXPECT_NE(answered, Poco::Clock(0)) << "no answer";
    EXPECT_LT(answered, searched);

    std::vector<Poco::UInt32> found;
    for (const auto& device : _pPusher->getDevices())
        found.push_back(device.deviceInstance);
    std::vector<Poco::UInt32> expected;
    for (Poco::UInt32 instance = 2001; instance < 2001 + _DEVICES; ++instance)
        expected.push_back(instance);
    EXPECT_EQ(found, expected);
    const std::string out = _rig.out();
    // The gateway's own device answers too; it has no trend log.
    EXPECT_NE(
        out.find(" s: 13 device(s) searched, 17 trend log(s) in 12 device(s) (17 new), 0 device(s) failed\n"),
        std::string::npos)
        << out;
}

TEST_F(TrendLogDiscoveryTest, AStopRequestEndsTheSearchAndStaysForTheApp)
{
    std::thread stopper(
        [this]
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            post(new Notification(Notification::STOP_RUNNING));
        });
    _pPusher->initialise();
    stopper.join();
    EXPECT_LT(_pPusher->getDevices().size(), static_cast<std::size_t>(_DEVICES));
    EXPECT_EQ(_rig.out().find("Search done"), std::string::npos) << _rig.out();
    EXPECT_FALSE(_pPusher->waitForNextAttempt());
}

TEST(TrendLogDiscovery, WhoIsRangesCoverEveryInstanceWithTheirShareOfTheDevicesFound)
{
    using Ranges = std::vector<TrendLogDiscovery::InstanceRange>;
    const Poco::UInt32 MAX = DataType::ObjectIdentifier::_MAX_INSTANCE;
    const std::vector<Poco::UInt32> found{0, 7, 100, 101, 4000};
    EXPECT_EQ(TrendLogDiscovery::whoIsRanges(found, 2), (Ranges{{0, 7}, {8, 101}, {102, MAX}}));
    EXPECT_EQ(TrendLogDiscovery::whoIsRanges(found, 5), (Ranges{{0, MAX}}));
    EXPECT_EQ(TrendLogDiscovery::whoIsRanges(found, 4), (Ranges{{0, 101}, {102, MAX}}));
    EXPECT_EQ(TrendLogDiscovery::whoIsRanges({MAX - 1, MAX}, 1), (Ranges{{0, MAX - 1}, {MAX, MAX}}));
    EXPECT_TRUE(TrendLogDiscovery::whoIsRanges({}, 3).empty());
}

TEST_F(TrendLogDiscoveryTest, ALargeSearchAsksAgainByRangesAndKeepsEachDeviceOnce)
{
    // Twelve devices found by the first Who-Is, more than 5: three ranges are asked again.
    _pPusher->setDiscoveryLimits({8, 50, 5});
    _pPusher->initialise();
    std::vector<Poco::UInt32> found;
    for (const auto& device : _pPusher->getDevices())
        found.push_back(device.deviceInstance);
    EXPECT_EQ(found.size(), static_cast<std::size_t>(_DEVICES));
    EXPECT_NE(_rig.out().find(" s: 13 device(s) searched, "), std::string::npos) << _rig.out();
}

}  // namespace

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
