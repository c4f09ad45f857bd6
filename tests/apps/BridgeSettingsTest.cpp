#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"

#include <gtest/gtest.h>

#include <vector>

using namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT;

TEST(WatsonBridgeSettingsTest, TheSecureParameterChoosesTheTlsPortAndTheSystemsTrustStore)
{
    // Which certificates the client then accepts is GatewayClientTlsTest's.
    for (const bool secure : {false, true})
    {
        std::vector<Orvik::BACnet::ValueContainer> values(7);
        const char* const texts[] = {"myorg", "127.0.0.1:1", "gwtype", "gw1", "token", "token-1"};
        for (std::size_t i = 0; i < 6; ++i)
            values[i].setCharString(texts[i]);
        values[6].setBool(secure);
        BridgeSettings settings("test");
        ObjectIdentities objects;
        settings.read(values, 1000, objects);
        EXPECT_EQ(secure ? 8883 : 1883, settings.connection.getPort());
        EXPECT_EQ("", settings.connection.getTrustStore());
    }
}
