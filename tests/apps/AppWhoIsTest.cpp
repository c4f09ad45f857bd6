#include <gtest/gtest.h>

#include <Poco/NotificationQueue.h>

#include <algorithm>
#include <memory>
#include <sstream>

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
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace
{

// The Who-Is app's rows in db/schema.sql.
const Poco::Int32 WHO_IS_APP = 2;
const Poco::Int32 NETWORK = 201;
const Poco::Int32 MAC = 202;
const Poco::Int32 LOW_LIMIT = 203;
const Poco::Int32 HIGH_LIMIT = 204;

const char* const SITE = R"({
  "tickMs": 100,
  "devices": [
    { "instance": 100, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.1:47808" },
    { "instance": 200, "vendorIdentifier": 260, "network": 1, "mac": "0a" },
    { "instance": 300, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.3:47808", "faults": { "silent": true } },
    { "instance": 5000, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.5:47808" }
  ]
})";

const std::string I_AM_100 =
    "Received I-Am Request from device: 100 with vendor ID: 7, Network = 0, MAC = 10.0.0.1:47808";
const std::string I_AM_200 =
    "Received I-Am Request from device: 200 with vendor ID: 260, Network = 1, MAC = 0a";
const std::string FINISHED = "AppWhoIs  FINISHED ";

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
    {
        result.push_back(line);
    }
    return result;
}

/// The Who-Is app against a simulated site, with a manager that is constructed but not run: the test
/// runs the app on its own thread and reads the manager's queue itself.
class AppWhoIsTest : public testing::Test
{
protected:
    AppWhoIsTest()
        : _db(true),
          _pSite(Client::Simulation::SimulatedSite::parse(SITE, "who-is test site")),
          _client(&_clientQueue, *_pSite, clientSettings()),
          _manager(AppTestDatabase::_CONTROLLER, 4194000, &_managerQueue, &_clientQueue),
          _instance(_db.addInstance(WHO_IS_APP, 1, true))
    {
        _client.start();
    }

    ~AppWhoIsTest() override { _client.stop(); }

    static Client::ClientWorker::Settings clientSettings()
    {
        Client::ClientWorker::Settings settings;
        settings.whoIsWindowMs = 300;
        return settings;
    }

    void configure(const std::string& network, const std::string& mac, const std::string& low,
                   const std::string& high)
    {
        _db.storeValue(_instance, NETWORK, network);
        _db.storeValue(_instance, MAC, mac);
        _db.storeValue(_instance, LOW_LIMIT, low);
        _db.storeValue(_instance, HIGH_LIMIT, high);
    }

    /// Runs the app to its end; returns its standard output. The app must have reported its end.
    std::string runApp(AppWhoIs& app)
    {
        CaptureStdout();
        app.run();
        const std::string out = GetCapturedStdout();
        Poco::AutoPtr<Poco::Notification> pNf(_managerQueue.dequeueNotification());
        const auto* pTermination = dynamic_cast<const NotificationAppTermination*>(pNf.get());
        EXPECT_TRUE(pTermination != nullptr && pTermination->pApp == &app && !pTermination->restart);
        return out;
    }

    AppTestDatabase _db;
    LogCapture _log;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Client::Simulation::SimulatedSite> _pSite;
    Client::ClientWorker _client;
    AppManager _manager;
    const Poco::Int32 _instance;
};

}  // namespace

TEST_F(AppWhoIsTest, PrintsEveryIAmOfTheRangeThenFinished)
{
    configure("65535", "", "0", "1000");
    AppWhoIs app(_instance);
    std::vector<std::string> out = lines(runApp(app));

    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out.back(), FINISHED);
    std::sort(out.begin(), out.end() - 1);
    EXPECT_EQ(out[0], I_AM_100);
    EXPECT_EQ(out[1], I_AM_200);
    EXPECT_TRUE(_log.lines().empty());
}

TEST_F(AppWhoIsTest, OnlyTheLowSixteenBitsOfTheNetworkNumberCount)
{
    configure("65537", "", "0", "4194303");
    AppWhoIs app(_instance);
    EXPECT_EQ(lines(runApp(app)), (std::vector<std::string>{I_AM_200, FINISHED}));
}

TEST_F(AppWhoIsTest, AStopRequestEndsTheWaitWithoutFurtherOutput)
{
    configure("65535", "", "0", "1000");
    AppWhoIs app(_instance);
    app.getReadQueue()->enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::STOP_RUNNING));
    EXPECT_EQ(runApp(app), "");
}

TEST_F(AppWhoIsTest, TooFewParametersSendNothingAndEndWithTheError)
{
    _client.stop();
    _db.session() << "DELETE FROM ap_app_property WHERE id_ap_app_property=?",
        Poco::Data::Keywords::bind(HIGH_LIMIT), Poco::Data::Keywords::now;
    AppWhoIs app(_instance);
    EXPECT_EQ(runApp(app), "");
    EXPECT_EQ(_clientQueue.size(), 0);
    const std::vector<std::string> logged = _log.linesOf(13);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("To few App parameters"), std::string::npos);
}
