// The device browser against the simulated site, judged by its console output.
#include "GatewayRig.h"
#include "Orvik_ZARoveDore/Demo/AppBrowser.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

const Poco::Int32 APP_BROWSER = 5;

/// One device with four objects: its object list has five entries (the device object included).
const std::string FIVE_OBJECT_SITE =
    R"({ "devices": [ { "instance": 7, "name": "Seven", "vendorIdentifier": 99,
  "objects": [ { "type": "analog-input", "instance": 1, "name": "AI", "presentValue": 1.5 },
               { "type": "analog-input", "instance": 2, "name": "AI2", "presentValue": 2.5 },
               { "type": "binary-output", "instance": 1, "name": "BO", "presentValue": "active" },
               { "type": "analog-value", "instance": 1, "name": "AV", "presentValue": 3.5 } ] } ] })";

class DemoBrowserTest : public Orvik::Test::GatewayRigTest
{
};

TEST_F(DemoBrowserTest, ReadsEveryObjectTwoPerRequestWithoutTheDeviceAddressBinding)
{
    serveSiteText(FIVE_OBJECT_SITE);
    EXPECT_FALSE(runApp<AppBrowser>(addInstance(APP_BROWSER)));
    EXPECT_EQ(out().rfind("AppBrowser\n  DeviceObjectIdentifier: 7, Vendor ID: 99, Network nr: ", 0), 0u)
        << out();
    for (const char* header : {"\t(8)device[7]:\n", "\t(0)analog-input[1]:\n", "\t(0)analog-input[2]:\n",
                               "\t(4)binary-output[1]:\n", "\t(2)analog-value[1]:\n"})
    {
        EXPECT_NE(out().find(header), std::string::npos) << header;
    }
    EXPECT_NE(out().find("\t\t(77)object-name (SINGLE_VALUE):\n\t\t\t\x1b[32mAV\x1b[39m\n"),
              std::string::npos);
    EXPECT_EQ(out().find("device-address-binding"), std::string::npos);
    EXPECT_EQ(out().substr(out().size() - 21), "AppBrowser FINISHED \n");
    // The object list, then three ReadPropertyMultiple requests of 2, 2 and 1 objects.
    EXPECT_EQ(site().getRequestCount(7), 4u);
    EXPECT_EQ(err(), "");
}

TEST_F(DemoBrowserTest, NoDeviceGivesTheNameAndTheEndOnly)
{
    serveSiteText(R"({ "devices": [] })");
    runApp<AppBrowser>(addInstance(APP_BROWSER));
    EXPECT_EQ(out(), "AppBrowser\nAppBrowser FINISHED \n");
}

TEST_F(DemoBrowserTest, ADeviceThatDoesNotGiveItsObjectListShowsItsAddressAndTheError)
{
    serveSiteText(FIVE_OBJECT_SITE);
    Client::Simulation::SimulatedFault fault;
    fault.service = Client::Simulation::SimulatedFault::READ_PROPERTY;
    fault.error = DataError(ERROR_CLASS_DEVICE, ERROR_CODE_DEVICE_BUSY);
    site().addFault(7, fault);
    runApp<AppBrowser>(addInstance(APP_BROWSER));
    EXPECT_NE(out().find("  DeviceObjectIdentifier: 7, Vendor ID: 99"), std::string::npos);
    EXPECT_EQ(out().find("\t(8)device[7]:"), std::string::npos);
    EXPECT_EQ(err(), "\t\x1b[31mdevice: device-busy\x1b[39m\n");
}

TEST_F(DemoBrowserTest, StopRequestEndsTheBrowserWithoutFurtherOutput)
{
    serveSiteText(FIVE_OBJECT_SITE);
    EXPECT_FALSE(runApp<AppBrowser>(addInstance(APP_BROWSER), true));
    EXPECT_EQ(out(), "AppBrowser\n");
}

}  // namespace
