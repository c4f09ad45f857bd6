#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PollSchedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT;

TEST(WatsonPollScheduleTest, DuePropertiesAreReadOnceAPollRateAndTheWaitEndsAtTheNextReading)
{
    PollSchedule schedule;
    for (const auto& [seconds, name] :
         std::vector<std::pair<Poco::UInt32, std::string>>{{60, "minute"}, {0, "never"}, {2, "often"}})
        schedule.add(DataPolledProperty(seconds, {}, DataWatsonKey("t", "d", name)));
    std::vector<std::string> read;
    const auto poll = [&](const DataPolledProperty& polled, std::size_t index)
    {
        read.push_back(polled.watson.propertyId);
        schedule.expect(static_cast<Poco::UInt32>(100 + index), index);
    };

    const long wait = schedule.pollDue(3600000, poll);
    EXPECT_EQ((std::vector<std::string>{"minute", "often"}), read);
    EXPECT_GT(wait, 1900);
    EXPECT_LE(wait, 2001);
    // Nothing is due again within the poll rate; the wait never grows.
    EXPECT_LE(schedule.pollDue(500, poll), 500);
    EXPECT_EQ(2u, read.size());

    for (const auto& [requestId, name] :
         {std::pair<Poco::UInt32, std::string>{102, "often"}, {100, "minute"}})
    {
        const DataPolledProperty* pAnswered = schedule.answered(requestId);
        ASSERT_NE(nullptr, pAnswered) << name;
        EXPECT_EQ(name, pAnswered->watson.propertyId);
        EXPECT_EQ(nullptr, schedule.answered(requestId)) << "an answer is taken once";
    }
    EXPECT_EQ(nullptr, schedule.answered(101));
}
