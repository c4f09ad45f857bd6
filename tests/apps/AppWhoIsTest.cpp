#include <gtest/gtest.h>

#include <array>

#include "GatewayRig.h"
#include "LogCapture.h"
#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"

using namespace Orvik::BACnet::App;

namespace
{

const char* const SITE = R"({ "devices": [
    { "instance": 100, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.1:47808" },
    { "instance": 200, "vendorIdentifier": 260, "network": 1, "mac": "0a" },
    { "instance": 300, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.3:47808", "faults": { "silent": true } },
    { "instance": 5000, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.5:47808" } ] })";

const std::string I_AM_100 =
    "Received I-Am Request from device: 100 with vendor ID: 7, Network = 0, MAC = 10.0.0.1:47808\n";
const std::string I_AM_200 =
    "Received I-Am Request from device: 200 with vendor ID: 260, Network = 1, MAC = 0a\n";
const std::string FINISHED = "AppWhoIs  FINISHED \n";

/// The Who-Is app (its rows of db/schema.sql) against a simulated site.
class AppWhoIsTest : public Orvik::Test::GatewayRigTest
{
protected:
    AppWhoIsTest() : _instance(db().addInstance(2, 1, true)) {}

    /// Parameters 1 to 4 (keys 201 to 204): network, MAC, low and high limit; serves the site.
    void configure(const std::array<std::string, 4>& values)
    {
        for (Poco::Int32 parameter = 0; parameter < 4; ++parameter)
            db().storeValue(_instance, 201 + parameter, values[parameter]);
        serveSiteText(SITE, {200, 1, 300});
    }

    /// Runs the app to its end and returns its standard output; the app must report its end, without restart.
    std::string runApp(bool stopRequested = false)
    {
        AppWhoIs app(_instance);
        if (stopRequested)
            requestStop(app);
        app.run();
        Poco::AutoPtr<Poco::Notification> pNf(managerQueue().dequeueNotification());
        const auto* pTermination = dynamic_cast<const NotificationAppTermination*>(pNf.get());
        EXPECT_TRUE(pTermination != nullptr && pTermination->pApp == &app && !pTermination->restart);
        return out();
    }

    Orvik::Test::LogCapture _log;
    const Poco::Int32 _instance;
};

}  // namespace

TEST_F(AppWhoIsTest, PrintsEveryIAmOfTheRangeThenFinished)
{
    configure({"65535", "", "0", "1000"});
    const std::string out = runApp();
    EXPECT_TRUE(out == I_AM_100 + I_AM_200 + FINISHED || out == I_AM_200 + I_AM_100 + FINISHED) << out;
    EXPECT_TRUE(_log.linesOf(-1).empty());
}

TEST_F(AppWhoIsTest, OnlyTheLowSixteenBitsOfTheNetworkNumberCount)
{
    configure({"65537", "", "0", "4194303"});
    EXPECT_EQ(runApp(), I_AM_200 + FINISHED);
}

TEST_F(AppWhoIsTest, AStopRequestEndsTheWaitWithoutFurtherOutput)
{
    configure({"65535", "", "0", "1000"});
    EXPECT_EQ(runApp(true), "");
}

TEST_F(AppWhoIsTest, TooFewParametersSendNothingAndEndWithTheError)
{
    db().dropParameter(204);
    EXPECT_EQ(runApp(), "");
    EXPECT_EQ(clientQueue().size(), 0) << "no network is served: whatever the app sent would still be queued";
    const std::vector<std::string> logged = _log.linesOf(13);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("To few App parameters"), std::string::npos);
}
