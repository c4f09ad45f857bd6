// Searches side by side: a failure of the keep-alive while lanes wait ends every lane before it is
// thrown on, instead of ending the process with threads still running.

#include <gtest/gtest.h>

#include <Poco/Exception.h>
#include <Poco/NotificationQueue.h>

#include <atomic>

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ParallelSearch.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
{

TEST(ParallelSearch, AKeepAliveThatFailsStopsTheLanesAndIsThrownOn)
{
    // Nobody serves the client queue: every lane waits for its reply until it is told to stop.
    Poco::NotificationQueue clientQueue;
    std::atomic<int> stopped{0};
    ParallelSearch lanes(
        clientQueue, 3, []() -> bool { throw Poco::SystemException("no answer"); }, 10);
    const auto wait = [&stopped](std::size_t, Client::ServiceHelper& services)
    {
        ValueContainer value;
        const Client::DataPropertyKey key(
            Client::DataObjectKey(1, DataType::ObjectIdentifier(OBJECT_DEVICE, 1)), PROP_OBJECT_NAME);
        if (services.syncRP(key, value) == Client::ServiceHelper::SYNC_RESULT_STOP)
            ++stopped;
    };
    EXPECT_THROW(lanes.run(5, wait), Poco::SystemException);
    EXPECT_EQ(stopped, 3) << "the lanes that waited were told to stop, no other search started";
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
