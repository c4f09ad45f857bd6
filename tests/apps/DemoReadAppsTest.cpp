// The read-property apps and the ReadRange app against the simulated site, judged by their console
// output.
#include <Poco/Exception.h>

#include <algorithm>

#include "GatewayRig.h"
#include "Orvik_ZARoveDore/Demo/AppRPM.h"
#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"
#include "Orvik_ZARoveDore/Demo/AppRR.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

const std::string GREEN = "\x1b[32m";
const std::string RED = "\x1b[31m";
const Poco::Int32 APP_RP = 1;
const Poco::Int32 APP_RPM = 4;
const Poco::Int32 APP_RR = 6;

/// The ReadProperty parameters (ids 101 to 105 of app 1): device, object type, instance, property.
Orvik::Test::GatewayRig::Values readProperty(const std::string& device, const std::string& type,
                                             const std::string& instance, const std::string& property,
                                             const std::string& arrayIndex = "")
{
    return {{101, device}, {102, type}, {103, instance}, {104, property}, {105, arrayIndex}};
}

/// A site with the lab controller's trend log 22 holding 120 records; small replies force paging.
const std::string PAGING_SITE =
    R"({ "devices": [ { "instance": 266771, "name": "Lab", "maxApdu": 480, "objects": [
    { "type": "analog-input", "instance": 48, "name": "Room", "presentValue": 22.0 },
    { "type": "trend-log", "instance": 22, "name": "Room Log", "logs": "analog-input:48",
      "log": { "start": "2026-01-01T00:00:00Z", "intervalSeconds": 300, "count": 120, "offset": 22 } } ] } ] })";

class DemoReadAppsTest : public Orvik::Test::GatewayRigTest
{
};

TEST_F(DemoReadAppsTest, OneShotPrintsTheValueOfTheConfiguredProperty)
{
    serveSite("demo.json");
    EXPECT_FALSE(runAtOnce<AppRP_OneShot>(addInstance(APP_RP, readProperty("266771", "0", "47", "85"))));
    const std::string header =
        "\nAppRP_OneShot, Device 266771:\n\t(0)analog-input[47]:\n\t\t(85)present-value "
        "(SINGLE_VALUE):\n\t\t\t";
    EXPECT_EQ(out().rfind(header + GREEN, 0), 0u) << out();
    EXPECT_EQ(out().substr(out().size() - 7), "\x1b[39m\n\n");
    EXPECT_EQ(err(), "");
}

TEST_F(DemoReadAppsTest, OneShotShowsTheWholeArrayInTheHeaderAndErrorsOnStandardError)
{
    serveSite("demo.json");
    runAtOnce<AppRP_OneShot>(addInstance(APP_RP, readProperty("266771", "8", "266771", "76", "2")));
    EXPECT_NE(out().find("\t\t(76)object-list[ALL] (ARRAY):\n\t\t\t" + GREEN), std::string::npos) << out();

    runAtOnce<AppRP_OneShot>(addInstance(APP_RP, readProperty("266771", "0", "99", "85")));
    EXPECT_NE(out().find("\t(0)analog-input[99]:\n\t\t(85)present-value (SINGLE_VALUE):\n\n"),
              std::string::npos)
        << out();
    EXPECT_EQ(err().rfind("\t" + RED, 0), 0u) << err();
}

TEST_F(DemoReadAppsTest, OneShotEndsSilentlyOnStopAndRefusesAShortParameterList)
{
    serveSite("demo.json");
    EXPECT_FALSE(
        runAtOnce<AppRP_OneShot>(addInstance(APP_RP, readProperty("266771", "0", "47", "85")), true));
    EXPECT_EQ(out(), "");
    db().dropParameter(104);
    db().dropParameter(105);
    EXPECT_THROW(runAtOnce<AppRP_OneShot>(addInstance(APP_RP, {{101, "266771"}, {102, "0"}, {103, "47"}})),
                 Poco::InvalidArgumentException);
}

TEST_F(DemoReadAppsTest, RpmPrintsEveryPropertyAndOnlyTheFailedOneOnStandardError)
{
    serveSite("demo.json");
    Client::Simulation::SimulatedFault fault;
    fault.service = Client::Simulation::SimulatedFault::READ_PROPERTY_MULTIPLE;
    fault.property = PROP_OBJECT_NAME;
    fault.error = DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY);
    site().addFault(AppRPM::_DEVICE_INSTANCE, fault);

    EXPECT_FALSE(runApp<AppRPM>(addInstance(APP_RPM)));
    EXPECT_EQ(out().rfind("RPM REQUEST SENT!\n\nAppRPM, Device: 266771\n\t(20)trend-log[22]:\n", 0), 0u)
        << out();
    EXPECT_NE(out().find("\t\t(79)object-type (SINGLE_VALUE):\n\t\t\t" + GREEN + "20"), std::string::npos)
        << out();
    EXPECT_NE(out().find("\t\t(77)object-name (SINGLE_VALUE):\n\t\t("), std::string::npos);
    // The failed property's error goes to standard error only (beside the site's own refusals).
    EXPECT_EQ(Orvik::Test::countOf(err(), "\t\t\t" + RED + "property: unknown-property\x1b[39m\n"), 1u)
        << err();
    EXPECT_EQ(out().find("unknown-property"), std::string::npos);
}

TEST_F(DemoReadAppsTest, RrPagesByTimeThenBySequenceUpToFiftyRecords)
{
    serveSiteText(PAGING_SITE);
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR)));
    const std::size_t pages = Orvik::Test::countOf(out(), "<--RR RESPONSE\n");
    EXPECT_GE(pages, 2u) << out();
    EXPECT_EQ(Orvik::Test::countOf(out(), "RR REQUEST SENT-->\n"), 1u);
    EXPECT_EQ(Orvik::Test::countOf(
                  out(), "\nAppRR, Device: 266771\n\t(20)trend-log[22]:\n\t\t(131)log-buffer[ALL] (LIST):\n"),
              pages);
    // Every record is one {...} element: the pages together hold exactly the 50 records asked for.
    EXPECT_EQ(Orvik::Test::countOf(out(), "{"), 50u) << out();
    EXPECT_EQ(err(), "");
}

TEST_F(DemoReadAppsTest, RrPrintsTheErrorOfASilentDeviceAndEndsOnStop)
{
    serveSiteText(
        R"({ "devices": [ { "instance": 266771, "name": "Lab", "faults": { "silent": true } } ] })");
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR)));
    EXPECT_EQ(out(), "RR REQUEST SENT-->\n<--RR RESPONSE\n");
    EXPECT_EQ(err().rfind("\t" + RED, 0), 0u) << err();

    serveSiteText(PAGING_SITE);
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR), true));
    EXPECT_EQ(Orvik::Test::countOf(out(), "<--RR RESPONSE\n"), 2u) << out();
}

}  // namespace
