// The COV subscription app against the simulated site, and the running of its display scripts.
#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <thread>

#include "Eventually.h"
#include "GatewayRig.h"
#include "Orvik_ZARoveDore/Demo/AppSubscribeCOV.h"
#include "Orvik_ZARoveDore/Demo/ProgramRunner.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

const Poco::Int32 APP_COV = 8;
/// Bound on the waits for the app's output; it only keeps a broken app from hanging the suite.

/// The lab controller's display objects, without drift: only the test changes them.
const std::string LAB_SITE = R"({ "devices": [ { "instance": 266771, "name": "Lab", "objects": [
    { "type": "analog-input", "instance": 47, "name": "Internal", "presentValue": 20.0, "covIncrement": 0.1 },
    { "type": "binary-input", "instance": 1, "name": "Door", "presentValue": "active" } ] } ] })";

std::string readFile(const std::string& path)
{
    if (!Poco::File(path).exists())
    {
        return "";
    }
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

/// A folder with a program of the given name that writes its arguments, one per line, into the
/// record file, and the record file.
class RecordingProgram
{
public:
    explicit RecordingProgram(const std::string& name)
    {
        _folder.createDirectories();
        const std::string program = Poco::Path(_folder.path()).append(name).toString();
        {
            Poco::FileOutputStream script(program);
            script << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done >> '" << record() << "'\n"
                   << "echo ---- >> '" << record() << "'\n";
        }
        Poco::File(program).setExecutable(true);
    }

    std::string folder() const { return _folder.path(); }
    std::string record() const { return Poco::Path(_folder.path()).append("record.txt").toString(); }
    std::string text() const { return readFile(record()); }

private:
    Poco::TemporaryFile _folder;
};

/// Puts a folder first on PATH for the lifetime of the object.
class PathPrefix
{
public:
    explicit PathPrefix(const std::string& folder) : _previous(Poco::Environment::get("PATH"))
    {
        Poco::Environment::set("PATH", folder + ":" + _previous);
    }
    ~PathPrefix() { Poco::Environment::set("PATH", _previous); }

private:
    const std::string _previous;
};

class DemoSubscribeCOVTest : public Orvik::Test::GatewayRigTest
{
};

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
    RecordingProgram program("recorder");
    const std::string marker = Poco::Path(program.folder()).append("injected").toString();
    const std::vector<std::string> arguments = {"it's",
                                                "\"$HOME\"",
                                                "`touch " + marker + "`",
                                                "$(touch " + marker + ")",
                                                "; touch " + marker,
                                                "21.5\xB0"
                                                "C"};
    std::vector<std::string> command = {Poco::Path(program.folder()).append("recorder").toString()};
    command.insert(command.end(), arguments.begin(), arguments.end());
    EXPECT_EQ(ProgramRunner::run(command), 0);
    std::string expected;
    for (const std::string& argument : arguments)
    {
        expected += argument + "\n";
    }
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

TEST_F(DemoSubscribeCOVTest, SubscribesShowsTheValuesAndCancelsOnStop)
{
    serveSiteText(LAB_SITE);
    RecordingProgram sudo("sudo");
    const PathPrefix path(sudo.folder());
    AppSubscribeCOV app(addInstance(
        APP_COV, {{802, "60"}, {804, "[device:266771/analog-input:47, device:266771/binary-input:1]"}}));
    bool restart = true;
    std::thread thread([&] { restart = app.descRun(); });

    EXPECT_TRUE(Orvik::Test::eventually(
        [&] { return out().find("\tObject(type,instance): 3, 1\n") != std::string::npos; }))
        << out();
    EXPECT_NE(
        out().find("AppSubscribeCOV : properties.size()=4\nSUBSCRIPTION TIMOUT: 30000000 microSeconds\n"),
        std::string::npos);
    EXPECT_NE(out().find(" AppSubscribeCOV , SubscribCOV ACK received:\n\tDevice Instance: 266771\n"
                         "\tObject(type,instance): 0, 47\n\x1b[39m"),
              std::string::npos)
        << out();

    ValueContainer temperature;
    temperature.setReal(21.4567f);
    site().changeValue(Client::DataObjectKey(266771, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 47)),
                       temperature);
    ValueContainer closed;
    closed.setEnum(0);
    site().changeValue(Client::DataObjectKey(266771, DataType::ObjectIdentifier(OBJECT_BINARY_INPUT, 1)),
                       closed);
    EXPECT_TRUE(Orvik::Test::eventually(
        [&]
        {
            return sudo.text().find("Door:\nClosed\n") != std::string::npos &&
                   sudo.text().find(
                       "21.45\xB0"
                       "C\n") != std::string::npos;
        }))
        << sudo.text();
    EXPECT_NE(sudo.text().find("python\n/Adafruit_Python_SSD1306/examples/DEMO/cov.py\nInt Tmp:\n"),
              std::string::npos);

    requestStop(app);
    thread.join();
    EXPECT_FALSE(restart);
    EXPECT_EQ(site().countSubscriptions(
                  Client::DataObjectKey(266771, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 47))),
              0u);
    const std::string lastRun = "python\n/Adafruit_Python_SSD1306/examples/DEMO/network.py\n----\n";
    EXPECT_EQ(sudo.text().substr(sudo.text().size() - lastRun.size()), lastRun);
}

TEST_F(DemoSubscribeCOVTest, RefusedSubscriptionIsShownAndAStoppingAppEndsAlthoughNoCancelIsAcknowledged)
{
    serveSite("demo.json");
    EXPECT_FALSE(
        runApp<AppSubscribeCOV>(addInstance(APP_COV, {{804, "[device:266771/analog-input:99]"}}), true));
    EXPECT_NE(out().find("\x1b[31m\nAppSubscribeCOV , SubscribCOV FAIL received:\n\tDevice Instance: 266771\n"
                         "\tObject(type,instance): 0, 99\n\t"),
              std::string::npos)
        << out();
}

TEST_F(DemoSubscribeCOVTest, WithoutObjectsTheStopEndsTheAppAtOnceAndTooFewParametersAreRefused)
{
    serveSite("demo.json");
    EXPECT_FALSE(runApp<AppSubscribeCOV>(addInstance(APP_COV), true));
    EXPECT_EQ(out(), "AppSubscribeCOV : properties.size()=4\nSUBSCRIPTION TIMOUT: 150000000 microSeconds\n");

    db().dropParameter(804);
    EXPECT_THROW(runApp<AppSubscribeCOV>(addInstance(APP_COV)), Poco::InvalidArgumentException);
}

}  // namespace
