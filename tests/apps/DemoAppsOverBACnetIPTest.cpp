// The diagnostic apps over BACnet/IP against the device simulator (an independent BACnet library) on
// the loopback: devices on 127.0.0.1 and 127.0.0.2 and one behind the simulator's router. The apps
// and their console output are the same as on the simulated site; here every request and answer
// goes through the wire codec and the UDP transport.
#include <Poco/Environment.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <thread>

#include "BACnetClient/InteropNetwork.h"
#include "BACnetClient/SuiteSimulator.h"
#include "BACnetDeviceSimulator.h"
#include "Eventually.h"
#include "GatewayRig.h"
#include "Orvik_ZARoveDore/Demo/AppRPM.h"
#include "Orvik_ZARoveDore/Demo/AppRP_OneShot.h"
#include "Orvik_ZARoveDore/Demo/AppRR.h"
#include "Orvik_ZARoveDore/Demo/AppSubscribeCOV.h"
#include "Orvik_ZARoveDore/Demo/AppToggleBinaryOutput.h"
#include "Orvik_ZARoveDore/Demo/AppWhoIs.h"

using namespace Orvik::BACnet::App;
using Orvik::Test::BACnetDeviceSimulator;
using Orvik::Test::InteropNetwork;
using Orvik::Test::SuiteSimulator;

namespace
{

const Poco::Int32 APP_RP = 1;
const Poco::Int32 APP_WHO_IS = 2;
const Poco::Int32 APP_TOGGLER = 3;
const Poco::Int32 APP_RPM = 4;
const Poco::Int32 APP_RR = 6;
const Poco::Int32 APP_COV = 8;
const std::string GREEN = "\x1b[32m";
const std::string RED = "\x1b[31m";
/// Bound on the waits for an app; it only keeps a broken transport from hanging the suite.

const std::string SITE = R"({"router": {"bind": "127.0.0.1"}, "devices": [
  {"instance": 266771, "name": "Lab", "vendorIdentifier": 7, "maxApdu": 480, "objects": [
    {"type": "analog-input", "instance": 47, "name": "Internal", "presentValue": 20.0, "covIncrement": 0.1},
    {"type": "analog-input", "instance": 48, "name": "Room", "presentValue": 22.0},
    {"type": "trend-log", "instance": 22, "name": "Room Log", "logs": "analog-input:48",
     "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 300, "count": 120, "offset": 22}}]},
  {"instance": 9, "name": "Relays", "vendorIdentifier": 8, "bind": "127.0.0.2", "objects": [
    {"type": "binary-output", "instance": 1, "name": "R1"}, {"type": "binary-output", "instance": 2, "name": "R2"}]},
  {"instance": 3001, "name": "Field", "vendorIdentifier": 260, "network": 5, "mac": "0a", "objects": [
    {"type": "analog-value", "instance": 1, "name": "Setpoint", "presentValue": 7.5}]}]})";

/// Runs `app` on a thread until `condition` holds, then stops it; false when the condition never held.
template <class Condition>
bool runUntil(AppBase& app, Condition condition)
{
    std::thread thread([&] { app.descRun(); });
    const bool held = Orvik::Test::eventually(condition);
    Orvik::Test::GatewayRig::requestStop(app);
    thread.join();
    return held;
}

/// A "sudo" first on PATH that records the display program's arguments (the COV app shows values through
/// it), one per line.
class DisplayRecorder
{
public:
    DisplayRecorder() : _previousPath(Poco::Environment::get("PATH"))
    {
        _folder.createDirectories();
        {
            Poco::FileOutputStream script(_folder.path() + "/sudo");
            script << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << record() << "'\n";
        }
        Poco::File(_folder.path() + "/sudo").setExecutable(true);
        Poco::Environment::set("PATH", _folder.path() + ":" + _previousPath);
    }
    ~DisplayRecorder() { Poco::Environment::set("PATH", _previousPath); }

    std::string text() const
    {
        if (!Poco::File(record()).exists())
            return "";
        Poco::FileInputStream in(record());
        std::string text;
        Poco::StreamCopier::copyToString(in, text);
        return text;
    }

private:
    std::string record() const { return _folder.path() + "/record.txt"; }

    Poco::TemporaryFile _folder;
    const std::string _previousPath;
};

class DemoAppsOverBACnetIPTest : public Orvik::Test::GatewayRigTest
{
protected:
    static void SetUpTestSuite() { _simulator.start(SITE); }
    static void TearDownTestSuite() { _simulator.stop(); }

    void SetUp() override
    {
        if (_simulator.missing())
            GTEST_SKIP() << SuiteSimulator::missingReason();
        serveNetwork(InteropNetwork::make(*_simulator));
    }

    static BACnetDeviceSimulator& simulator() { return *_simulator; }

private:
    static SuiteSimulator _simulator;
};

SuiteSimulator DemoAppsOverBACnetIPTest::_simulator;

}  // namespace

TEST_F(DemoAppsOverBACnetIPTest, WhoIsHearsTheDevicesOnTheLoopbackAndTheOneBehindTheRouter)
{
    EXPECT_FALSE(
        runApp<AppWhoIs>(addInstance(APP_WHO_IS, {{201, "65535"}, {202, ""}, {203, "0"}, {204, "4194303"}})));
    const std::string lab = simulator().device(266771).address.toString();
    const std::string relays = simulator().device(9).address.toString();
    EXPECT_EQ(Orvik::Test::countOf(
                  out(), "Received I-Am Request from device: 266771 with vendor ID: 7, Network = 0, MAC = " +
                             lab + "\n"),
              1u)
        << out();
    EXPECT_EQ(Orvik::Test::countOf(out(), "device: 9 with vendor ID: 8, Network = 0, MAC = " + relays + "\n"),
              1u)
        << out();
    EXPECT_EQ(Orvik::Test::countOf(out(), "device: 3001 with vendor ID: 260, Network = 5, MAC = 0a\n"), 1u)
        << out();
    EXPECT_EQ(out().substr(out().size() - 20), "AppWhoIs  FINISHED \n");

    // Limits are applied by the devices: only the routed device answers.
    EXPECT_FALSE(
        runApp<AppWhoIs>(addInstance(APP_WHO_IS, {{201, "65535"}, {202, ""}, {203, "3000"}, {204, "3001"}})));
    EXPECT_EQ(Orvik::Test::countOf(out(), "device: 3001 "), 2u) << out();
    EXPECT_EQ(Orvik::Test::countOf(out(), "Received I-Am"), 4u) << out();
}

TEST_F(DemoAppsOverBACnetIPTest, OneShotReadsValuesAndShowsTheDevicesErrors)
{
    // The app waits 3 s before it reads: few cases.
    struct Case
    {
        std::vector<std::string> parameters;  // device, object type, instance, property, array index
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {{"3001", "2", "1", "85", ""},
         "Device 3001:\n\t(2)analog-value[1]:\n\t\t(85)present-value (SINGLE_VALUE):\n\t\t\t" + GREEN + "7.5",
         ""},
        {{"266771", "8", "266771", "76", "0"}, GREEN + "4", ""},
        {{"266771", "0", "99", "85", ""}, "(0)analog-input[99]:", "object: unknown-object"},
        {{"266771", "0", "47", "4000", ""}, "(0)analog-input[47]:", "property: unknown-property"},
    };
    for (const Case& c : cases)
    {
        const std::size_t outBefore = out().size();
        const std::size_t errBefore = err().size();
        runAtOnce<AppRP_OneShot>(addInstance(APP_RP, {{101, c.parameters[0]},
                                                      {102, c.parameters[1]},
                                                      {103, c.parameters[2]},
                                                      {104, c.parameters[3]},
                                                      {105, c.parameters[4]}}));
        const std::string newOut = out().substr(outBefore);
        const std::string newErr = err().substr(errBefore);
        EXPECT_NE(newOut.find(c.out), std::string::npos) << c.parameters[3] << ": " << newOut;
        if (c.err.empty())
            EXPECT_EQ(newErr, "");
        else
            EXPECT_NE(newErr.find(c.err), std::string::npos) << newErr;
    }
}

TEST_F(DemoAppsOverBACnetIPTest, RpmReadsAllPropertiesOfTheTrendLog)
{
    EXPECT_FALSE(runApp<AppRPM>(addInstance(APP_RPM)));
    EXPECT_EQ(out().rfind("RPM REQUEST SENT!\n\nAppRPM, Device: 266771\n\t(20)trend-log[22]:\n", 0), 0u)
        << out();
    EXPECT_NE(out().find("\t\t(79)object-type (SINGLE_VALUE):\n\t\t\t" + GREEN + "20"), std::string::npos);
    EXPECT_NE(out().find("\t\t(77)object-name (SINGLE_VALUE):\n\t\t\t" + GREEN + "Room Log"),
              std::string::npos);
    EXPECT_NE(out().find("(141)record-count (SINGLE_VALUE):\n\t\t\t" + GREEN + "120"), std::string::npos);
}

TEST_F(DemoAppsOverBACnetIPTest, RrPagesByTimeThroughSmallAnswers)
{
    EXPECT_FALSE(runAtOnce<AppRR>(addInstance(APP_RR)));
    const std::size_t pages = Orvik::Test::countOf(out(), "<--RR RESPONSE\n");
    EXPECT_GE(pages, 2u) << out();
    EXPECT_EQ(Orvik::Test::countOf(
                  out(), "\nAppRR, Device: 266771\n\t(20)trend-log[22]:\n\t\t(131)log-buffer[ALL] (LIST):\n"),
              pages);
    EXPECT_EQ(Orvik::Test::countOf(out(), "{"), 50u) << out();
    EXPECT_EQ(err(), "");
}

TEST_F(DemoAppsOverBACnetIPTest, CovNotificationsReachTheAppConfirmedAndUnconfirmed)
{
    int step = 0;
    for (const bool confirmed : {false, true})
    {
        SCOPED_TRACE(confirmed ? "confirmed" : "unconfirmed");
        const DisplayRecorder display;
        const std::size_t eventsBefore = simulator().events().size();
        AppSubscribeCOV app(addInstance(
            APP_COV,
            {{801, confirmed ? "true" : "false"}, {802, "60"}, {804, "[device:266771/analog-input:47]"}}));
        // The app redraws its display at most every 1.5 s: new values keep coming until one is shown.
        std::vector<std::string> sent;
        const auto shown = [&]
        {
            for (const std::string& value : sent)
            {
                if (display.text().find("Int Tmp:\n" + value + "\xB0") != std::string::npos)
                    return true;
            }
            return false;
        };
        EXPECT_TRUE(runUntil(app,
                             [&]
                             {
                                 if (shown())
                                     return true;
                                 if (out().find("SubscribCOV ACK received:") != std::string::npos)
                                 {
                                     sent.push_back(std::to_string(30 + step++) + ".25");
                                     simulator().command("set 266771 analog-input:47 present-value " +
                                                         sent.back());
                                     Poco::Thread::sleep(200);
                                 }
                                 return false;
                             }))
            << display.text() << out();
        const std::vector<std::string> events = simulator().events();
        std::size_t acked = 0;
        for (std::size_t i = eventsBefore; i < events.size(); ++i)
            acked += events[i].rfind("notify-acked 266771 0:47", 0) == 0 ? 1 : 0;
        if (confirmed)
            EXPECT_GT(acked, 0u);
        else
            EXPECT_EQ(acked, 0u) << "an unconfirmed subscription got confirmed notifications";
        // The stopping app cancels its subscription.
        EXPECT_TRUE(
            Orvik::Test::eventually([&] { return simulator().command("subscriptions 266771") == "0"; }));
    }
}

TEST_F(DemoAppsOverBACnetIPTest, TogglerWritesWithItsPriorities)
{
    AppToggleBinaryOutput app(addInstance(APP_TOGGLER, {{301, "false"},
                                                        {302, "device:9/binary-output:1.present-value"},
                                                        {305, "0"},
                                                        {306, "true"},
                                                        {307, "device:9/binary-output:2.present-value"},
                                                        {308, "11"},
                                                        {310, "0"}}));
    const auto writes = [&]
    {
        std::vector<std::string> found;
        for (const std::string& event : simulator().events())
        {
            if (event.rfind("write 9 4:2 85 ", 0) == 0)
                found.push_back(event);
        }
        return found;
    };
    EXPECT_TRUE(runUntil(app, [&] { return writes().size() >= 3; }));
    const std::vector<std::string> found = writes();
    ASSERT_GE(found.size(), 3u);
    EXPECT_EQ(found[0], "write 9 4:2 85 priority=11 value=0");
    EXPECT_EQ(found[1], "write 9 4:2 85 priority=9 value=1");
    EXPECT_EQ(err(), "");
    for (const std::string& event : simulator().events())
        EXPECT_EQ(event.find("write 9 4:1 "), std::string::npos) << "a disabled relay was written: " << event;
}
