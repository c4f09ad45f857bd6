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

TEST(WatsonPollScheduleTest,
     AStoppedPropertyIsReadNoMoreUntilAddedOnceAgainAndItsReadingOnTheWayIsStillAnswered)
{
    using Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference;
    using Orvik::BACnet::DataType::ObjectIdentifier;
    const auto reference = [](Poco::UInt32 instance)
    {
        return BACnetDeviceObjectPropertyReference(
            ObjectIdentifier(Orvik::BACnet::OBJECT_ANALOG_INPUT, instance), Orvik::BACnet::PROP_PRESENT_VALUE,
            Orvik::BACnet::BACNET_ARRAY_ALL, ObjectIdentifier(Orvik::BACnet::OBJECT_DEVICE, 7));
    };
    PollSchedule schedule;
    std::vector<Poco::UInt32> read;
    const auto poll = [&](const DataPolledProperty& polled, std::size_t index)
    {
        read.push_back(polled.bacnet.getObjectIdentifier().getInstance());
        schedule.expect(static_cast<Poco::UInt32>(100 + index), index);
    };
    EXPECT_TRUE(schedule.addOnce(DataPolledProperty(60, reference(1), {})));
    EXPECT_TRUE(schedule.addOnce(DataPolledProperty(60, reference(2), {})));
    EXPECT_FALSE(schedule.addOnce(DataPolledProperty(60, reference(1), {}))) << "read already";
    EXPECT_TRUE(schedule.stop(reference(1)));
    EXPECT_FALSE(schedule.stop(reference(1)));
    EXPECT_FALSE(schedule.stop(reference(3)));
    schedule.pollDue(3600000, poll);
    EXPECT_EQ((std::vector<Poco::UInt32>{2}), read);

    struct Step
    {
        Poco::UInt32 added;
        bool adds;
        std::vector<Poco::UInt32> readNow;
    };
    const Step steps[] = {{1, true, {1}}, {1, false, {}}, {2, false, {}}};
    for (const Step& step : steps)
    {
        read.clear();
        EXPECT_EQ(step.adds, schedule.addOnce(DataPolledProperty(60, reference(step.added), {})))
            << step.added;
        schedule.pollDue(3600000, poll);
        EXPECT_EQ(step.readNow, read) << step.added;
    }
    schedule.stop(reference(1));
    EXPECT_NE(nullptr, schedule.answered(100)) << "the reading on its way";
}
