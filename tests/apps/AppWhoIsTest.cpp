#include <gtest/gtest.h>

#include "AppTestDatabase.h"
#include "LogCapture.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"

using namespace Orvik::BACnet;
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

Client::ClientWorker::Settings shortAnswerWindow()
{
    Client::ClientWorker::Settings settings;
    settings.whoIsWindowMs = 300;
    return settings;
}

/// The Who-Is app (its rows of db/schema.sql) against a simulated site. The manager is constructed but
/// not run: the test runs the app on its own thread and reads the manager's queue itself.
class AppWhoIsTest : public testing::Test
{
protected:
    AppWhoIsTest() { _client.start(); }
    ~AppWhoIsTest() override { _client.stop(); }

    /// Parameters 1 to 4 (keys 201 to 204): network, MAC, low and high limit.
    void configure(const std::array<std::string, 4>& values)
    {
        for (Poco::Int32 parameter = 0; parameter < 4; ++parameter)
            _db.storeValue(_instance, 201 + parameter, values[parameter]);
    }

    /// Runs the app to its end and returns its standard output; the app must report its end, without restart.
    std::string runApp(bool stopRequested = false)
    {
        AppWhoIs app(_instance);
        if (stopRequested)
            app.getReadQueue()->enqueueNotification(
                new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
        testing::internal::CaptureStdout();
        app.run();
        const std::string out = testing::internal::GetCapturedStdout();
        Poco::AutoPtr<Poco::Notification> pNf(_managerQueue.dequeueNotification());
        const auto* pTermination = dynamic_cast<const NotificationAppTermination*>(pNf.get());
        EXPECT_TRUE(pTermination != nullptr && pTermination->pApp == &app && !pTermination->restart);
        return out;
    }

    AppTestDatabase _db{true};
    LogCapture _log;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Client::Simulation::SimulatedSite> _pSite =
        Client::Simulation::SimulatedSite::parse(SITE, "site");
    Client::ClientWorker _client{&_clientQueue, *_pSite, shortAnswerWindow()};
    AppManager _manager{AppTestDatabase::_CONTROLLER, 4194000, &_managerQueue, &_clientQueue};
    const Poco::Int32 _instance = _db.addInstance(2, 1, true);
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
    _client.stop();
    _db.session() << "DELETE FROM ap_app_property WHERE id_ap_app_property=204", Poco::Data::Keywords::now;
    EXPECT_EQ(runApp(), "");
    EXPECT_EQ(_clientQueue.size(), 0);
    const std::vector<std::string> logged = _log.linesOf(13);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("To few App parameters"), std::string::npos);
}
