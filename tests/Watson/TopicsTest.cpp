#include "Orvik_Watson/BrokerAddress.h"
#include "Orvik_Watson/Topics.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using Watson_IOTP::BrokerAddress;
using Watson_IOTP::Topics;

namespace
{

Watson_IOTP::Properties propertiesFor(const std::string& domain)
{
    Watson_IOTP::Properties properties;
    properties.setorgId("org");
    if (!domain.empty())
        properties.setdomain(domain);
    return properties;
}

}  // namespace

TEST(BrokerAddressTest, PlatformBrokerIsTheOrganisationsMessagingHostAndALocalDomainTheBrokerItself)
{
    const struct
    {
        const char* domain;
        int port;
        const char* uri;
    } rows[] = {
        {"", 8883, "ssl://org.messaging.internetofthings.ibmcloud.com:8883"},
        {"example.net", 1883, "tcp://org.messaging.example.net:1883"},
        // Anything else than a local address is a platform domain, even when it looks numeric in part.
        {"10.0.0", 1883, "tcp://org.messaging.10.0.0:1883"},
        {"127.0.0.1", 1883, "tcp://127.0.0.1:1883"},
        {"localhost", 8883, "ssl://localhost:8883"},
        // The port in the domain is dialled; the configured port still chooses TLS.
        {"127.0.0.2:41000", 8883, "ssl://127.0.0.2:41000"},
        {"localhost:41000", 1883, "tcp://localhost:41000"},
    };
    for (const auto& row : rows)
    {
        const BrokerAddress address(propertiesFor(row.domain), row.port);
        EXPECT_EQ(row.uri, address.uri()) << row.domain;
        EXPECT_EQ(row.port == 8883, address.secure()) << row.domain;
    }
    const BrokerAddress local(propertiesFor("127.0.0.2:41000"), 8883);
    EXPECT_EQ("127.0.0.2", local.host());
    EXPECT_EQ(41000, local.port());

    for (const auto& [domain, port] : std::initializer_list<std::pair<const char*, int>>{
             {"localhost:0", 1883}, {"localhost:65536", 1883}, {"127.0.0.1:x", 1883}, {"localhost", 0}})
    {
        EXPECT_THROW(BrokerAddress(propertiesFor(domain), port), Poco::InvalidArgumentException)
            << domain << port;
    }
}

TEST(TopicsTest, NamesThatABrokerRefusesAreRefused)
{
    // Empty, separator and wildcards, broken UTF-8, and what the broker refuses in any MQTT text:
    // control characters (C0, DEL, C1), surrogates, non-characters.
    for (const std::string& bad :
         {std::string(), std::string("a/b"), std::string("a+"), std::string("#"), std::string("a\0b", 3),
          std::string("\xff"), std::string("ab\xc3"), std::string("\xc0\xaf"), std::string("a\tb"),
          std::string("a\r\nb"), std::string("a\x7f"), std::string("a\xc2\x85"), std::string("\xed\xa0\x80"),
          std::string("\xef\xbf\xbf"), std::string("\xef\xb7\x90"), std::string("\xf0\x9f\xbf\xbe")})
    {
        EXPECT_FALSE(Topics::isValidLevel(bad)) << bad;
        EXPECT_FALSE(Topics::isValidEvent("type", bad, "COV", "json")) << bad;
        EXPECT_THROW(Topics::event("type", bad, "COV", "json"), Poco::InvalidArgumentException);
        EXPECT_THROW(Topics::commands(bad, "id"), Poco::InvalidArgumentException);
    }
    EXPECT_TRUE(Topics::isValidLevel("Raum \xc3\xa4 1 -_.\xc2\xa0\xef\xbf\xbd\xf0\x9f\x98\x80"));

    // A topic is at most 65535 bytes long.
    const std::string fixedPart = "iot-2/type/t/id//evt/COV/fmt/json";
    const std::string longest(Topics::MAX_TOPIC_BYTES - fixedPart.size(), 'n');
    EXPECT_TRUE(Topics::isValidEvent("t", longest, "COV", "json"));
    EXPECT_EQ(Topics::MAX_TOPIC_BYTES, Topics::event("t", longest, "COV", "json").size());
    EXPECT_FALSE(Topics::isValidEvent("t", longest + "n", "COV", "json"));
    EXPECT_THROW(Topics::event("t", longest + "n", "COV", "json"), Poco::InvalidArgumentException);
    EXPECT_THROW(Topics::commands("t", std::string(Topics::MAX_TOPIC_BYTES, 'n')),
                 Poco::InvalidArgumentException);
}

TEST(TopicsTest, EventAndCommandTopicsFollowThePlatformsFormAndOnlyCommandTopicsBecomeCommands)
{
    EXPECT_EQ("iot-2/type/0005-X/id/Boiler 1/evt/COV/fmt/json",
              Topics::event("0005-X", "Boiler 1", "COV", "json"));
    EXPECT_EQ("iot-2/type/gw/id/g1/cmd/+/fmt/+", Topics::commands("gw", "g1"));
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
