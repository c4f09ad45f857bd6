// The binary output toggler against the simulated site, and the peripheral manager's frame.
#include <Poco/Exception.h>
#include <Poco/Thread.h>

#include <thread>

#include "Eventually.h"
#include "GatewayRig.h"
#include "Orvik_Utility/Peripherals/NotificationBrindle.h"
#include "Orvik_ZARoveDore/Demo/AppToggleBinaryOutput.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"
#include "Orvik_ZARoveDore/VendorOrvik/FerroManager/AppFerroManager.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

const Poco::Int32 APP_TOGGLER = 3;
const Poco::Int32 APP_PERIPHERALS = 501;

const std::string RELAY_SITE = R"({ "devices": [
  { "instance": 8, "name": "Other", "objects": [ { "type": "binary-output", "instance": 1, "name": "X" } ] },
  { "instance": 9, "name": "Relays", "objects": [ { "type": "binary-output", "instance": 1, "name": "R1" },
                                                 { "type": "binary-output", "instance": 2, "name": "R2" } ] } ] })";

/// Relay groups (parameters 301-305 and 306-310): enabled, property, first priority, unused, delay bound.
Orvik::Test::GatewayRig::Values relays(bool firstEnabled, const std::string& firstDevice)
{
    return {{301, firstEnabled ? "true" : "false"},
            {302, "device:" + firstDevice + "/binary-output:1.present-value"},
            {305, "0"},
            {306, "true"},
            {307, "device:9/binary-output:2.present-value"},
            {310, "0"}};
}

/// Runs the toggler until `condition` holds, then stops it; returns its result.
template <class Condition>
bool runTogglerUntil(Poco::Int32 idAppInstance, Condition condition)
{
    AppToggleBinaryOutput app(idAppInstance);
    bool restart = true;
    std::thread thread([&] { restart = app.descRun(); });
    EXPECT_TRUE(Orvik::Test::eventually(condition));
    Orvik::Test::GatewayRig::requestStop(app);
    thread.join();
    return restart;
}

class DemoToggleAndPeripheralTest : public Orvik::Test::GatewayRigTest
{
};

TEST_F(DemoToggleAndPeripheralTest, EnabledRelaysAreSwitchedAgainAndAgainUntilStopDisabledOnesNever)
{
    serveSiteText(RELAY_SITE);
    // Device 9 gets its two first writes, then at least two switch-ons and one switch-off.
    EXPECT_FALSE(runTogglerUntil(addInstance(APP_TOGGLER, relays(false, "8")),
                                 [&] { return site().getRequestCount(9) >= 4; }));
    EXPECT_EQ(site().getRequestCount(8), 0u);
    EXPECT_EQ(err(), "");
}

TEST_F(DemoToggleAndPeripheralTest, RefusedWriteIsReportedAndTogglingGoesOn)
{
    serveSiteText(RELAY_SITE);
    Client::Simulation::SimulatedFault fault;
    fault.service = Client::Simulation::SimulatedFault::WRITE_PROPERTY;
    fault.object = DataType::ObjectIdentifier(OBJECT_BINARY_OUTPUT, 1);
    fault.error = DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED);
    site().addFault(9, fault);
    EXPECT_FALSE(runTogglerUntil(
        addInstance(APP_TOGGLER, relays(true, "9")),
        [&]
        {
            return err().find("AppToggleBinaryOutput property: write-access-denied\n") != std::string::npos &&
                   site().getRequestCount(9) >= 6;
        }));
}

TEST_F(DemoToggleAndPeripheralTest, ParameterListsWithoutACompleteRelay)
{
    serveSiteText(RELAY_SITE);
    for (Poco::Int32 property = 305; property <= 310; ++property)
    {
        db().dropParameter(property);
    }
    // Four values, the first true: an incomplete group, no relay; the app waits for the stop.
    const Values incomplete = {{301, "true"}, {302, "device:9/binary-output:1.present-value"}};
    EXPECT_FALSE(runApp<AppToggleBinaryOutput>(addInstance(APP_TOGGLER, incomplete), true));
    EXPECT_EQ(err(), "");
    EXPECT_EQ(site().getRequestCount(9), 0u);

    db().dropParameter(304);
    EXPECT_FALSE(runApp<AppToggleBinaryOutput>(addInstance(APP_TOGGLER, incomplete)));
    EXPECT_EQ(err(), "Errors in Crazy Relay Parameters\n");
}

TEST_F(DemoToggleAndPeripheralTest, PeripheralManagerIgnoresPeripheralsUntilStopAndNeedsFourParameters)
{
    VendorOrvik::FerroManager::AppFerroManager app(addInstance(APP_PERIPHERALS));
    app.getReadQueue()->enqueueNotification(new Orvik::Peripherals::NotificationBrindle("gpio17", 1));
    app.getReadQueue()->enqueueNotification(new NotificationAppRequest());
    Orvik::Test::GatewayRig::requestStop(app);
    EXPECT_FALSE(app.descRun());
    EXPECT_EQ(app.getReadQueue()->size(), 0);

    db().dropParameter(50104);
    EXPECT_THROW(runApp<VendorOrvik::FerroManager::AppFerroManager>(addInstance(APP_PERIPHERALS)),
                 Poco::InvalidArgumentException);
}

}  // namespace
