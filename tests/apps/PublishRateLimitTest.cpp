// The rate limit: a newer value of a waiting point takes its place in line, and the buckets let out no
// more than their rate allows, telling when the next may go.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PublishRateLimit.h"

using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::OutageQueue;
using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::PublishRateLimit;

namespace
{

std::vector<std::string> released(PublishRateLimit& limit, long& wait)
{
    std::vector<std::string> sent;
    wait = limit.release(1000,
                         [&](const OutageQueue::Message& message) { sent.push_back(message.texts.at(0)); });
    return sent;
}

}  // namespace

TEST(PublishRateLimitTest, TheNewestValueOfAPointKeepsItsPlaceAndTheRateIsHeld)
{
    struct Case
    {
        double messages;
        double bytes;
        std::vector<std::string> first;  ///< what goes out at once
    };
    // Ten a second: a bucket of one; 100 bytes a second with 10-byte values: one, then a debt.
    for (const Case& c : {Case{10, 0, {"a2"}}, Case{0, 100, {"a2"}}, Case{1000, 0, {"a2", "b1", "c1"}}})
    {
        PublishRateLimit limit(c.messages, c.bytes);
        ASSERT_TRUE(limit.limits());
        for (const std::string value : {"a1", "b1", "a2", "c1"})
            limit.offer(value.substr(0, 1), {Poco::Timestamp(), {value}}, 10);
        long wait = 0;
        EXPECT_EQ(c.first, released(limit, wait));
        EXPECT_EQ(3 - c.first.size(), limit.waiting());
        EXPECT_TRUE(limit.waiting() == 0 || (wait > 0 && wait <= 100)) << wait;
    }
    EXPECT_FALSE(PublishRateLimit(0, 0).limits());
}
