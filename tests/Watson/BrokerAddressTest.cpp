#include "Orvik_Watson/BrokerAddress.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using Watson_IOTP::BrokerAddress;
using Watson_IOTP::Properties;

namespace
{

Properties propertiesFor(const std::string& orgId, const std::string& domain)
{
    Properties properties;
    properties.setorgId(orgId);
    properties.setdomain(domain);
    return properties;
}

}  // namespace

TEST(BrokerAddressTest, PlatformBrokerIsTheOrganisationsMessagingHost)
{
    Properties defaults;
    defaults.setorgId("abc123");
    const BrokerAddress secure(defaults, 8883);
    EXPECT_EQ("abc123.messaging.internetofthings.ibmcloud.com", secure.host());
    EXPECT_TRUE(secure.secure());
    EXPECT_EQ("ssl://abc123.messaging.internetofthings.ibmcloud.com:8883", secure.uri());

    const BrokerAddress plain(propertiesFor("org", "example.net"), 1883);
    EXPECT_FALSE(plain.secure());
    EXPECT_EQ("tcp://org.messaging.example.net:1883", plain.uri());
}

TEST(BrokerAddressTest, LocalDomainIsTheBrokerItselfAndMayCarryThePort)
{
    EXPECT_EQ("tcp://127.0.0.1:1883", BrokerAddress(propertiesFor("org", "127.0.0.1"), 1883).uri());
    EXPECT_EQ("ssl://localhost:8883", BrokerAddress(propertiesFor("org", "localhost"), 8883).uri());
    // The port in the domain is dialled; the configured port still chooses TLS.
    const BrokerAddress local(propertiesFor("org", "127.0.0.2:41000"), 8883);
    EXPECT_EQ("127.0.0.2", local.host());
    EXPECT_EQ(41000, local.port());
    EXPECT_TRUE(local.secure());
    EXPECT_EQ("tcp://localhost:41000", BrokerAddress(propertiesFor("org", "localhost:41000"), 1883).uri());
    // Anything else is a platform domain, even when it looks numeric in part.
    EXPECT_EQ("org.messaging.10.0.0", BrokerAddress(propertiesFor("org", "10.0.0"), 1883).host());
}

TEST(BrokerAddressTest, UnusablePortsAreRefused)
{
    EXPECT_THROW(BrokerAddress(propertiesFor("org", "localhost:0"), 1883), Poco::InvalidArgumentException);
    EXPECT_THROW(BrokerAddress(propertiesFor("org", "localhost:65536"), 1883),
                 Poco::InvalidArgumentException);
    EXPECT_THROW(BrokerAddress(propertiesFor("org", "127.0.0.1:x"), 1883), Poco::InvalidArgumentException);
    EXPECT_THROW(BrokerAddress(propertiesFor("org", "localhost"), 0), Poco::InvalidArgumentException);
}
