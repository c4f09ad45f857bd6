#include "Orvik_Watson/Topics.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using Watson_IOTP::Topics;

TEST(TopicsTest, EventAndCommandTopicsFollowThePlatformsForm)
{
    EXPECT_EQ("iot-2/type/0005-X/id/Boiler 1/evt/COV/fmt/json",
              Topics::event("0005-X", "Boiler 1", "COV", "json"));
    EXPECT_EQ("iot-2/type/gw/id/g1/cmd/+/fmt/+", Topics::commands("gw", "g1"));
}

TEST(TopicsTest, NamesThatCannotBeATopicLevelAreRefused)
{
    for (const std::string& bad :
         {std::string(), std::string("a/b"), std::string("a+"), std::string("#"), std::string("a\0b", 3),
          std::string("\xff"), std::string("ab\xc3"), std::string("\xc0\xaf")})
    {
        EXPECT_FALSE(Topics::isValidLevel(bad)) << bad;
        EXPECT_THROW(Topics::event("type", bad, "COV", "json"), Poco::InvalidArgumentException);
        EXPECT_THROW(Topics::commands(bad, "id"), Poco::InvalidArgumentException);
    }
    EXPECT_TRUE(Topics::isValidLevel("Raum \xc3\xa4 1\t-_."));
}

TEST(TopicsTest, OnlyCommandTopicsBecomeCommands)
{
    const auto command = Topics::parseCommand("iot-2/type/T/id/I/cmd/wp3/fmt/json", "{}");
    ASSERT_TRUE(command);
    EXPECT_EQ("T", command->getDeviceType());
    EXPECT_EQ("I", command->getDeviceId());
    EXPECT_EQ("wp3", command->getCommandName());
    EXPECT_EQ("json", command->getFormat());
    EXPECT_EQ("{}", command->getPayload());

    for (const char* topic :
         {"iot-2/type/T/id/I/evt/e/fmt/json", "iot-2/type/T/id/I/cmd/c/fmt", "iot-2/cmd/c/fmt/json",
          "iot-2/type/T/id/I/cmd/c/fmt/json/x", "x/type/T/id/I/cmd/c/fmt/json"})
    {
        EXPECT_FALSE(Topics::parseCommand(topic, "")) << topic;
    }
}
