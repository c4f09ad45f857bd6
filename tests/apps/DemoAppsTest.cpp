// The diagnostic apps against the simulated site, judged by their console output and by what reaches the
// devices. Their requests over BACnet/IP are the client's, which the network and interop suites judge.
#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/TemporaryFile.h>

#include <algorithm>
#include <sstream>
#include <thread>

#include "Eventually.h"
#include "GatewayRig.h"
#include "LogCapture.h"
#include "Orvik_Utility/Peripherals/NotificationBrindle.h"
#include "Orvik_ZARoveDore/Demo/AppBrowser.h"
#include "Orvik_ZARoveDore/Demo/AppRPM.h"
#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"
#include "Orvik_ZARoveDore/Demo/AppRR.h"
#include "Orvik_ZARoveDore/Demo/AppSubscribeCOV.h"
#include "Orvik_ZARoveDore/Demo/AppToggleBinaryOutput.h"
#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"
#include "Orvik_ZARoveDore/Demo/ProgramRunner.h"
#include "Orvik_ZARoveDore/NotificationAppRequest.h"
#include "Orvik_ZARoveDore/NotificationAppTermination.h"
#include "Orvik_ZARoveDore/VendorOrvik/FerroManager/AppFerroManager.h"
#include "TextFile.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;
using Orvik::Test::countOf;
using Orvik::Test::GatewayRig;
using Fault = Client::Simulation::SimulatedFault;

namespace
{

const Poco::Int32 APP_RP = 1;
const Poco::Int32 APP_WHO_IS = 2;
const Poco::Int32 APP_TOGGLER = 3;
const Poco::Int32 APP_RPM = 4;
const Poco::Int32 APP_BROWSER = 5;
const Poco::Int32 APP_RR = 6;
const Poco::Int32 APP_COV = 8;
const Poco::Int32 APP_PERIPHERALS = 501;
const std::string GREEN = "\x1b[32m";
const std::string RED = "\x1b[31m";
const std::string PLAIN = "\x1b[39m";

/// The lab controller's trend log 22 of 120 records behind small answers, so that a ReadRange pages.
const std::string LAB_SITE =
    R"({"devices": [{"instance": 266771, "name": "Lab", "vendorIdentifier": 7, "maxApdu": 480, "objects": [
    {"type": "analog-input", "instance": 47, "name": "Internal", "presentValue": 20.0, "covIncrement": 0.1},
    {"type": "binary-input", "instance": 1, "name": "Door", "presentValue": "active"},
    {"type": "analog-input", "instance": 48, "name": "Room", "presentValue": 22.0},
    {"type": "trend-log", "instance": 22, "name": "Room Log", "logs": "analog-input:48",
     "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 300, "count": 120, "offset": 22}}]}]})";
const std::string RELAY_SITE = R"({"devices": [
  {"instance": 8, "name": "Other", "objects": [{"type": "binary-output", "instance": 1, "name": "X"}]},
  {"instance": 9, "name": "Relays", "objects": [{"type": "binary-output", "instance": 1, "name": "R1"},
                                              {"type": "binary-output", "instance": 2, "name": "R2"}]}]})";
/// One device with four objects: its object list has five entries (the device object included).
const std::string FIVE_OBJECT_SITE = R"({"devices": [{"instance": 7, "name": "Seven", "vendorIdentifier": 99,
  "objects": [{"type": "analog-input", "instance": 1, "name": "AI", "presentValue": 1.5},
              {"type": "analog-input", "instance": 2, "name": "AI2", "presentValue": 2.5},
              {"type": "binary-output", "instance": 1, "name": "BO", "presentValue": "active"},
              {"type": "analog-value", "instance": 1, "name": "AV", "presentValue": 3.5}]}]})";
const std::string WHO_IS_SITE = R"({"devices": [
    {"instance": 100, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.1:47808"},
    {"instance": 200, "vendorIdentifier": 260, "network": 1, "mac": "0a"},
    {"instance": 300, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.3:47808", "faults": {"silent": true}},
    {"instance": 5000, "vendorIdentifier": 7, "network": 0, "mac": "10.0.0.5:47808"}]})";
/// The toggler's relay groups (parameters 301-305 and 306-310): enabled, property, first priority,
/// unused, delay bound.
GatewayRig::Values relays(bool firstEnabled, const std::string& firstDevice)
{
    return {{301, firstEnabled ? "true" : "false"},
            {302, "device:" + firstDevice + "/binary-output:1.present-value"},
            {305, "0"},
            {306, "true"},
            {307, "device:9/binary-output:2.present-value"},
            {310, "0"}};
}

/// Runs `app` on a thread until `condition` holds, then stops it; true when the condition held and the
/// app ended without asking for a restart.
template <class Condition>
bool runUntil(AppBase& app, Condition condition)
{
    bool restart = true;
    std::thread thread([&] { restart = app.descRun(); });
    const bool held = Orvik::Test::eventually(condition);
    GatewayRig::requestStop(app);
    thread.join();
    return held && !restart;
}

/// A program of the given name, first on PATH while the object lives, that records its arguments, one
/// per line, and "----" after each run (the COV app shows its values through "sudo").
class RecordingProgram
{
public:
    explicit RecordingProgram(const std::string& name)
        : _path(_folder.path() + "/" + name), _previousPath(Poco::Environment::get("PATH"))
    {
        _folder.createDirectories();
        Poco::FileOutputStream(_path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '"
                                      << record() << "'\necho ---- >> '" << record() << "'\n";
        Poco::File(_path).setExecutable(true);
        Poco::Environment::set("PATH", _folder.path() + ":" + _previousPath);
    }
    ~RecordingProgram() { Poco::Environment::set("PATH", _previousPath); }

    std::string path() const { return _path; }
    std::string folder() const { return _folder.path(); }
    std::string text() const { return Orvik::Test::readFileIfAny(record()); }

private:
    std::string record() const { return _folder.path() + "/record.txt"; }

    Poco::TemporaryFile _folder;
    const std::string _path;
    const std::string _previousPath;
};

class DemoAppsTest : public Orvik::Test::GatewayRigTest
{
protected:
    /// Runs the app as the manager does; it must report its end, without asking for a restart.
    void runToItsEnd(AppBase& app)
    {
        app.run();
        Poco::AutoPtr<Poco::Notification> pNf(managerQueue().dequeueNotification());
        const auto* pTermination = dynamic_cast<const NotificationAppTermination*>(pNf.get());
        EXPECT_TRUE(pTermination != nullptr && pTermination->pApp == &app && !pTermination->restart);
    }
};

}  // namespace

TEST(AppBasePrint, HeadersShowNamesStructureAndArrayIndexValuesAreGreenAndErrorsRed)
{
    std::ostringstream out;
    AppBase::printObjectHeader(out, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), "\t");
    for (const auto& [type, property, index] :
         {std::make_tuple(OBJECT_DEVICE, PROP_OBJECT_LIST, 0u),
          std::make_tuple(OBJECT_DEVICE, PROP_OBJECT_LIST, 0xFFFFFFFFu),
          std::make_tuple(OBJECT_DEVICE, PROP_OBJECT_LIST, 3u),
          std::make_tuple(OBJECT_DEVICE, PROP_ACTIVE_COV_SUBSCRIPTIONS, 0xFFFFFFFFu),
          std::make_tuple(OBJECT_ANALOG_INPUT, PROP_PRESENT_VALUE, 0xFFFFFFFFu),
          std::make_tuple(OBJECT_DEVICE, PROP_PRESENT_VALUE, 0xFFFFFFFFu)})
        AppBase::printPropertyHeader(out, type, Client::DataPropertyRef(property, index), "\t\t");
    ValueContainer value;
    value.setValues(std::vector<std::uint64_t>{1, 2, 3});
    AppBase::printPropertyValue(out, value, "\t");
    AppBase::printError(out, DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY), "\t");
    EXPECT_EQ(out.str(),
              "\t(0)analog-input[5]:\n"
              "\t\t(76)object-list[COUNT] (ARRAY):\n"
              "\t\t(76)object-list[ALL] (ARRAY):\n"
              "\t\t(76)object-list[3] (ARRAY):\n"
              "\t\t(152)active-cov-subscriptions[ALL] (LIST):\n"
              "\t\t(85)present-value (SINGLE_VALUE):\n"
              "\t\tUnknown BACnet property\n"
              "\t\x1b[32m1,2,3\x1b[39m\n\t\x1b[31mproperty: unknown-property\x1b[39m\n");
}

TEST_F(DemoAppsTest, WhoIsPrintsEveryIAmOfItsRangeThenFinished)
{
    const Orvik::Test::LogCapture log;
    const std::string iAm100 =
        "Received I-Am Request from device: 100 with vendor ID: 7, Network = 0, MAC = 10.0.0.1:47808\n";
    const std::string iAm200 =
        "Received I-Am Request from device: 200 with vendor ID: 260, Network = 1, MAC = 0a\n";
    const std::string finished = "AppWhoIs  FINISHED \n";
    struct Case
    {
        const char* name;
        std::string network;
        std::string highLimit;
        bool stopFirst;
        std::vector<std::string> outs;  // any one of them
    };
    // Only the low sixteen bits of the network number count; a stop request ends the wait without output.
    const Case cases[] = {
        {"range", "65535", "1000", false, {iAm100 + iAm200 + finished, iAm200 + iAm100 + finished}},
        {"network 65537", "65537", "4194303", false, {iAm200 + finished}},
        {"stop", "65535", "1000", true, {""}},
    };
    serveSiteText(WHO_IS_SITE, {200, 1, 300});
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::size_t before = out().size();
        AppWhoIs app(addInstance(APP_WHO_IS, {{201, c.network}, {202, ""}, {203, "0"}, {204, c.highLimit}}));
        if (c.stopFirst)
            requestStop(app);
        runToItsEnd(app);
        const std::string printed = out().substr(before);
        EXPECT_NE(std::find(c.outs.begin(), c.outs.end(), printed), c.outs.end()) << printed;
    }
    EXPECT_TRUE(log.linesOf(-1).empty());
}

TEST_F(DemoAppsTest, WhoIsWithTooFewParametersSendsNothingAndEndsWithTheError)
{
    const Orvik::Test::LogCapture log;
    db().dropParameter(204);
    AppWhoIs app(addInstance(APP_WHO_IS));
    runToItsEnd(app);
    EXPECT_EQ(out(), "");
    EXPECT_EQ(clientQueue().size(), 0) << "no network is served: whatever the app sent would still be queued";
    const std::vector<std::string> logged = log.linesOf(13);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("To few App parameters"), std::string::npos);
}

TEST_F(DemoAppsTest, OneShotPrintsTheValueOrTheWholeArrayAndErrorsOnStandardError)
{
    serveSite("demo.json");
    const struct
    {
        std::vector<std::string> parameters;
        std::string out;
        std::string err;
    } runs[] = {
        {{"266771", "0", "47", "85", ""},
         "\nAppRP_OneShot, Device 266771:\n\t(0)analog-input[47]:\n\t\t(85)present-value "
         "(SINGLE_VALUE):\n\t\t\t" +
             GREEN,
         ""},
        {{"266771", "8", "266771", "76", "2"}, "\t\t(76)object-list[ALL] (ARRAY):\n\t\t\t" + GREEN, ""},
        {{"266771", "0", "99", "85", ""},
         "\t(0)analog-input[99]:\n\t\t(85)present-value (SINGLE_VALUE):\n\n",
         "\t" + RED}};
    for (const auto& run : runs)
    {
        SCOPED_TRACE(run.parameters[3]);
        const std::size_t outBefore = out().size();
        const std::size_t errBefore = err().size();
        GatewayRig::Values values;
        for (std::size_t i = 0; i < run.parameters.size(); ++i)
            values[101 + static_cast<Poco::Int32>(i)] = run.parameters[i];
        EXPECT_FALSE(runAtOnce<AppRP_OneShot>(addInstance(APP_RP, values)));
        const std::string printed = out().substr(outBefore);
        const std::string errors = err().substr(errBefore);
        EXPECT_NE(printed.find(run.out), std::string::npos) << printed;
        const std::string end = run.err.empty() ? PLAIN + "\n\n" : "\n\n";
        EXPECT_EQ(printed.substr(printed.size() - std::min(printed.size(), end.size())), end);
        if (run.err.empty())
            EXPECT_EQ(errors, "");
        else
            EXPECT_NE(errors.find(run.err), std::string::npos) << errors;
    }
    EXPECT_EQ(out().rfind("\nAppRP_OneShot, Device 266771:", 0), 0u) << out();
}

TEST_F(DemoAppsTest, OneShotEndsSilentlyOnStopAndRefusesAShortParameterList)
{
    serveSite("demo.json");
    EXPECT_FALSE(runAtOnce<AppRP_OneShot>(
        addInstance(APP_RP, {{101, "266771"}, {102, "0"}, {103, "47"}, {104, "85"}}), true));
    EXPECT_EQ(out(), "");
    db().dropParameter(104);
    db().dropParameter(105);
    EXPECT_THROW(runAtOnce<AppRP_OneShot>(addInstance(APP_RP, {{101, "266771"}, {102, "0"}, {103, "47"}})),
                 Poco::InvalidArgumentException);
}

TEST_F(DemoAppsTest, RpmPrintsEveryPropertyAndOnlyTheFailedOneOnStandardError)
{
    serveSite("demo.json");
    Fault fault;
    fault.service = Fault::READ_PROPERTY_MULTIPLE;
    fault.property = PROP_OBJECT_NAME;
    fault.error = DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY);
    site().addFault(AppRPM::_DEVICE_INSTANCE, fault);

    EXPECT_FALSE(runApp<AppRPM>(addInstance(APP_RPM)));
    EXPECT_EQ(out().rfind("RPM REQUEST SENT!\n\nAppRPM, Device: 266771\n\t(20)trend-log[22]:\n", 0), 0u)
        << out();
    EXPECT_NE(out().find("\t\t(79)object-type (SINGLE_VALUE):\n\t\t\t" + GREEN + "20"), std::string::npos);
    EXPECT_NE(out().find("\t\t(77)object-name (SINGLE_VALUE):\n\t\t("), std::string::npos);
    // The failed property's error goes to standard error only (beside the site's own refusals).
    EXPECT_EQ(countOf(err(), "\t\t\t" + RED + "property: unknown-property" + PLAIN + "\n"), 1u) << err();
    EXPECT_EQ(out().find("unknown-property"), std::string::npos);
}

// The pages together hold exactly the 50 records asked for.
TEST_F(DemoAppsTest, RrPagesByTimeThenBySequenceUpToFiftyRecords)
{
    serveSiteText(LAB_SITE);
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR)));
    const std::size_t pages = countOf(out(), "<--RR RESPONSE\n");
    EXPECT_GE(pages, 2u) << out();
    EXPECT_EQ(countOf(out(), "RR REQUEST SENT-->\n"), 1u);
    EXPECT_EQ(
        countOf(out(), "\nAppRR, Device: 266771\n\t(20)trend-log[22]:\n\t\t(131)log-buffer[ALL] (LIST):\n"),
        pages);
    EXPECT_EQ(countOf(out(), "{"), 50u) << out();  // one {...} element per record
    EXPECT_EQ(err(), "");
}

TEST_F(DemoAppsTest, RrPrintsTheErrorOfASilentDeviceAndEndsOnStop)
{
    serveSiteText(R"({"devices": [{"instance": 266771, "name": "Lab", "faults": {"silent": true}}]})");
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR)));
    EXPECT_EQ(out(), "RR REQUEST SENT-->\n<--RR RESPONSE\n");
    EXPECT_EQ(err().rfind("\t" + RED, 0), 0u) << err();

    serveSiteText(LAB_SITE);
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR), true));
    EXPECT_EQ(countOf(out(), "<--RR RESPONSE\n"), 2u) << out();
}

TEST_F(DemoAppsTest, BrowserReadsEveryObjectTwoPerRequestWithoutTheDeviceAddressBinding)
{
    serveSiteText(FIVE_OBJECT_SITE);
    EXPECT_FALSE(runApp<AppBrowser>(addInstance(APP_BROWSER)));
    EXPECT_EQ(out().rfind("AppBrowser\n  DeviceObjectIdentifier: 7, Vendor ID: 99, Network nr: ", 0), 0u)
        << out();
    for (const char* header : {"\t(8)device[7]:\n", "\t(0)analog-input[1]:\n", "\t(0)analog-input[2]:\n",
                               "\t(4)binary-output[1]:\n", "\t(2)analog-value[1]:\n"})
        EXPECT_NE(out().find(header), std::string::npos) << header;
    EXPECT_NE(out().find("\t\t(77)object-name (SINGLE_VALUE):\n\t\t\t" + GREEN + "AV" + PLAIN + "\n"),
              std::string::npos);
    EXPECT_EQ(out().find("device-address-binding"), std::string::npos);
    EXPECT_EQ(out().substr(out().size() - 21), "AppBrowser FINISHED \n");
    // The object list, then three ReadPropertyMultiple requests of 2, 2 and 1 objects.
    EXPECT_EQ(site().getRequestCount(7), 4u);
    EXPECT_EQ(err(), "");
}

TEST_F(DemoAppsTest, BrowserWithoutDevicesOrObjectListOrOnStopPrintsOnlyWhatItHas)
{
    struct Case
    {
        const char* name;
        std::string site;
        bool busy;
        bool stopFirst;
        std::string out;  // a part of it
        std::string err;
    };
    const Case cases[] = {
        {"no device", R"({"devices": []})", false, false, "AppBrowser\nAppBrowser FINISHED \n", ""},
        {"no object list", FIVE_OBJECT_SITE, true, false, "  DeviceObjectIdentifier: 7, Vendor ID: 99",
         "\t" + RED + "device: device-busy" + PLAIN + "\n"},
        {"stop", FIVE_OBJECT_SITE, false, true, "AppBrowser\n", ""},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.name);
        const std::size_t outBefore = out().size();
        const std::size_t errBefore = err().size();
        serveSiteText(c.site);
        if (c.busy)
        {
            Fault fault;
            fault.service = Fault::READ_PROPERTY;
            fault.error = DataError(ERROR_CLASS_DEVICE, ERROR_CODE_DEVICE_BUSY);
            site().addFault(7, fault);
        }
        runApp<AppBrowser>(addInstance(APP_BROWSER), c.stopFirst);
        const std::string printed = out().substr(outBefore);
        EXPECT_TRUE(c.busy ? printed.find(c.out) != std::string::npos : printed == c.out) << printed;
        EXPECT_EQ(printed.find("\t(8)device[7]:"), std::string::npos);
        EXPECT_EQ(err().substr(errBefore), c.err);
    }
}

TEST_F(DemoAppsTest, TogglerSwitchesEnabledRelaysAgainAndAgainUntilStopDisabledOnesNever)
{
    serveSiteText(RELAY_SITE);
    // Device 9 gets its two first writes, then at least two switch-ons and one switch-off.
    AppToggleBinaryOutput app(addInstance(APP_TOGGLER, relays(false, "8")));
    EXPECT_TRUE(runUntil(app, [&] { return site().getRequestCount(9) >= 4; }));
    EXPECT_EQ(site().getRequestCount(8), 0u);
    EXPECT_EQ(err(), "");

    // A refused write is reported and the toggling goes on.
    Fault fault;
    fault.service = Fault::WRITE_PROPERTY;
    fault.object = DataType::ObjectIdentifier(OBJECT_BINARY_OUTPUT, 1);
    fault.error = DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED);
    site().addFault(9, fault);
    const std::size_t requests = site().getRequestCount(9);
    AppToggleBinaryOutput refused(addInstance(APP_TOGGLER, relays(true, "9")));
    EXPECT_TRUE(runUntil(refused,
                         [&]
                         {
                             return err().find("AppToggleBinaryOutput property: write-access-denied\n") !=
                                        std::string::npos &&
                                    site().getRequestCount(9) >= requests + 6;
                         }));
}

TEST_F(DemoAppsTest, TogglerWithoutACompleteRelayWaitsForTheStopOrRefusesItsParameters)
{
    serveSiteText(RELAY_SITE);
    for (Poco::Int32 property = 305; property <= 310; ++property)
        db().dropParameter(property);
    // Four values, the first true: an incomplete group, no relay; the app waits for the stop.
    const Values incomplete = {{301, "true"}, {302, "device:9/binary-output:1.present-value"}};
    EXPECT_FALSE(runApp<AppToggleBinaryOutput>(addInstance(APP_TOGGLER, incomplete), true));
    EXPECT_EQ(err(), "");
    EXPECT_EQ(site().getRequestCount(9), 0u);

    db().dropParameter(304);
    EXPECT_FALSE(runApp<AppToggleBinaryOutput>(addInstance(APP_TOGGLER, incomplete)));
    EXPECT_EQ(err(), "Errors in Crazy Relay Parameters\n");
}

TEST_F(DemoAppsTest, PeripheralManagerIgnoresPeripheralsUntilStopAndNeedsFourParameters)
{
    VendorOrvik::FerroManager::AppFerroManager app(addInstance(APP_PERIPHERALS));
    app.getReadQueue()->enqueueNotification(new Orvik::Peripherals::NotificationBrindle("gpio17", 1));
    app.getReadQueue()->enqueueNotification(new NotificationAppRequest());
    requestStop(app);
    EXPECT_FALSE(app.descRun());
    EXPECT_EQ(app.getReadQueue()->size(), 0);

    db().dropParameter(50104);
    EXPECT_THROW(runApp<VendorOrvik::FerroManager::AppFerroManager>(addInstance(APP_PERIPHERALS)),
                 Poco::InvalidArgumentException);
}

TEST(DemoSubscribeCOVRenewal, HalfTheLifetimeWithoutOverflowAndNeverABusyLoop)
{
    EXPECT_EQ(AppSubscribeCOV::renewalPeriod(300), 150000000);
    EXPECT_EQ(AppSubscribeCOV::renewalPeriod(8590), 4295000000);
    EXPECT_EQ(AppSubscribeCOV::renewalPeriod(4294967295u), 2147483647000000);
    EXPECT_EQ(AppSubscribeCOV::renewalPeriod(1), AppSubscribeCOV::_MIN_RENEWAL_US);
    EXPECT_EQ(AppSubscribeCOV::renewalPeriod(0), 0);
}

TEST(DemoProgramRunner, ArgumentsReachTheProgramUnchangedAndNeverRunAsShellCode)
{
    const RecordingProgram program("recorder");
    const std::string marker = program.folder() + "/injected";
    const std::vector<std::string> arguments = {"it's",
                                                "\"$HOME\"",
                                                "`touch " + marker + "`",
                                                "$(touch " + marker + ")",
                                                "; touch " + marker,
                                                "21.5\xB0"
                                                "C"};
    std::vector<std::string> command = {program.path()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(ProgramRunner::run(command), 0);
    std::string expected;
    for (const std::string& argument : arguments)
        expected += argument + "\n";
    EXPECT_EQ(program.text(), expected + "----\n");
    EXPECT_FALSE(Poco::File(marker).exists());

    EXPECT_EQ(ProgramRunner::run({"/bin/sh", "-c", "exit 3"}), 3);
    EXPECT_THROW(ProgramRunner::run({command[0], std::string("cut\0short", 9)}),
                 Poco::InvalidArgumentException);
    EXPECT_EQ(program.text(), expected + "----\n") << "nothing ran";
    // Where the spawn cannot report the failed start (fork and exec under an emulator), the child
    // ends with 127, the shell's "command not found".
    const int missing = ProgramRunner::run({"no-such-program-anywhere"});
    EXPECT_TRUE(missing == -1 || missing == 127) << missing;
    EXPECT_EQ(ProgramRunner::splitWords("sudo python /a/b/cov.py"),
              (std::vector<std::string>{"sudo", "python", "/a/b/cov.py"}));
}

TEST_F(DemoAppsTest, SubscribeCOVShowsTheValuesAndCancelsOnStop)
{
    serveSiteText(LAB_SITE);
    const RecordingProgram sudo("sudo");
    AppSubscribeCOV app(addInstance(
        APP_COV, {{802, "60"}, {804, "[device:266771/analog-input:47, device:266771/binary-input:1]"}}));
    const Client::DataObjectKey temperatureKey(266771, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 47));
    bool changed = false;
    const auto shown = [&]
    {
        if (!changed &&
            out().find("\tObject(type,instance): 3, 1\n") != std::string::npos)  // both subscribed
        {
            ValueContainer temperature, closed;
            temperature.setReal(21.4567f);
            closed.setEnum(0);
            site().changeValue(temperatureKey, temperature);
            site().changeValue(
                Client::DataObjectKey(266771, DataType::ObjectIdentifier(OBJECT_BINARY_INPUT, 1)), closed);
            changed = true;
        }
        return sudo.text().find("Door:\nClosed\n") != std::string::npos && sudo.text().find(
                                                                               "21.45\xB0"
                                                                               "C\n") != std::string::npos;
    };
    EXPECT_TRUE(runUntil(app, shown)) << out() << sudo.text();
    EXPECT_NE(
        out().find("AppSubscribeCOV : properties.size()=4\nSUBSCRIPTION TIMOUT: 30000000 microSeconds\n"),
        std::string::npos);
    EXPECT_NE(out().find(" AppSubscribeCOV , SubscribCOV ACK received:\n\tDevice Instance: 266771\n"
                         "\tObject(type,instance): 0, 47\n" +
                         PLAIN),
              std::string::npos)
        << out();
    EXPECT_NE(sudo.text().find("python\n/Adafruit_Python_SSD1306/examples/DEMO/cov.py\nInt Tmp:\n"),
              std::string::npos);
    EXPECT_EQ(site().countSubscriptions(temperatureKey), 0u);
    const std::string lastRun = "python\n/Adafruit_Python_SSD1306/examples/DEMO/network.py\n----\n";
    EXPECT_EQ(sudo.text().substr(sudo.text().size() - lastRun.size()), lastRun);
}

TEST_F(DemoAppsTest, SubscribeCOVShowsARefusalAndAStoppingAppEndsAlthoughNoCancelIsAcknowledged)
{
    serveSite("demo.json");
    EXPECT_FALSE(runApp<AppSubscribeCOV>(addInstance(APP_COV, {{804, "[device:266771/analog-input:99]"}}),
                                         true, 300L));
    EXPECT_NE(out().find(RED + "\nAppSubscribeCOV , SubscribCOV FAIL received:\n\tDevice Instance: 266771\n"
                               "\tObject(type,instance): 0, 99\n\t"),
              std::string::npos)
        << out();
}

TEST_F(DemoAppsTest, SubscribeCOVWithoutObjectsEndsAtOnceOnStopAndRefusesTooFewParameters)
{
    serveSite("demo.json");
    EXPECT_FALSE(runApp<AppSubscribeCOV>(addInstance(APP_COV), true));
    EXPECT_EQ(out(), "AppSubscribeCOV : properties.size()=4\nSUBSCRIPTION TIMOUT: 150000000 microSeconds\n");
    db().dropParameter(804);
    EXPECT_THROW(runApp<AppSubscribeCOV>(addInstance(APP_COV)), Poco::InvalidArgumentException);
}
