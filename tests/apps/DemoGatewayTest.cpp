// The gateway program as a user meets it: its options, its refusals of bad input, and a demo run
// that ends cleanly on SIGINT.
#include <gtest/gtest.h>

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/Session.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/String.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <signal.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <sstream>

#include <unistd.h>
#include <utility>
#include <vector>

#include "DemoGatewayProcess.h"
#include "Eventually.h"
#include "NotifySocket.h"

using namespace Poco::Data::Keywords;

namespace
{

/// Bounds on the waits: they only keep a broken program from hanging the suite.
const int EXIT_BOUND_S = 60;
const int DEMO_OUTPUT_BOUND_S = 120;

const std::string DEMO_SITE = ORVIK_SOURCE_DIR "/sites/demo.json";

std::string readFile(const std::string& path)
{
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

void writeFile(const std::string& path, const std::string& text)
{
    Poco::FileOutputStream out(path);
    out << text;
}

class DemoGatewayTest : public testing::Test
{
protected:
    DemoGatewayTest() { _folder.createDirectories(); }

    std::string pathOf(const std::string& name) const
    {
        return Poco::Path(_folder.path()).append(name).toString();
    }

    /// Runs the program to its end; returns its exit status.
    int runToEnd(const std::vector<std::string>& options)
    {
        _pProcess = std::make_unique<DemoGatewayProcess>(options);
        return _pProcess->waitForExit(EXIT_BOUND_S);
    }

    Poco::TemporaryFile _folder;
    std::unique_ptr<DemoGatewayProcess> _pProcess;
};

TEST_F(DemoGatewayTest, HelpListsTheOptions)
{
    EXPECT_EQ(runToEnd({"--help"}), 0);
    for (const char* option :
         {"--database", "--controller", "--device-instance", "--network", "--demo", "--syslog", "--bacnet-ip",
          "--bacnet-broadcast", "--bbmd", "--bbmd-ttl", "--bacnet-device", "--status", "config help"})
    {
        EXPECT_NE(_pProcess->out().find(option), std::string::npos) << option;
    }
}

/// A start the program refuses: its options and files, and what its refusal says. "{dir}" stands for the
/// test's folder.
struct Refusal
{
    const char* name;
    std::vector<std::string> options;
    std::string error;
    /// Whether the refusal leaves the folder as it found it (no new database, prepared files unchanged).
    bool leavesFolderAsItWas = true;
    /// Makes the files the options name.
    std::function<void(const std::string& dir)> prepare = nullptr;
};

std::string expanded(std::string text, const std::string& dir)
{
    const auto at = text.find("{dir}");
    return at == std::string::npos ? text : text.replace(at, 5, dir);
}

/// The folder's files and their contents.
std::map<std::string, std::string> contents(const std::string& dir)
{
    std::map<std::string, std::string> files;
    std::vector<std::string> names;
    Poco::File(dir).list(names);
    for (const std::string& name : names)
        files[name] = Poco::File(dir + "/" + name).isFile() ? readFile(dir + "/" + name) : "(folder)";
    return files;
}

const std::string DB = "--database={dir}/a.db";
const std::string NET = "--network=" + DEMO_SITE;

const Refusal REFUSALS[] = {
    {"UnknownOption", {"--no-such-option"}, ""},
    {"ControllerNotANumber", {DB, NET, "--controller=one"}, "--controller: not a whole number: one"},
    {"NoNetwork", {DB}, "No BACnet network"},
    {"SiteAndBACnetIP", {DB, NET, "--bacnet-ip"}, "either --network or --bacnet-ip"},
    {"BbmdWithoutBACnetIP", {DB, NET, "--bbmd=127.0.0.1"}, "go with --bacnet-ip only"},
    {"PortTooLarge",
     {DB, "--bacnet-ip=127.0.0.1:99999"},
     "--bacnet-ip: the port is a number from 0 to 65535"},
    {"AddressNotIPv4", {DB, "--bacnet-ip=::1"}, "--bacnet-ip: not an address[:port]"},
    {"TimeToLiveZero",
     {DB, "--bacnet-ip", "--bbmd-ttl=0"},
     "--bbmd-ttl: the time-to-live is a number from 1"},
    {"DeviceWithoutAddress",
     {DB, "--bacnet-ip", "--bacnet-device=12"},
     "--bacnet-device: not instance=address"},
    {"DeviceInstanceTooLarge",
     {DB, "--bacnet-ip", "--bacnet-device=4194303=127.0.0.1"},
     "the device instance is a number"},
    {"RoutedNetworkZero",
     {DB, "--bacnet-ip", "--bacnet-device=5=127.0.0.1/0/0a"},
     "the network is a number from 1"},
    {"MacNotHex", {DB, "--bacnet-ip", "--bacnet-device=5=127.0.0.1/7/zz"}, "not a MAC address: zz"},
    {"DatabaseInAMissingFolder", {"--database={dir}/missing/config.db", NET}, "does not exist"},
    {"TextFileAsDatabase",
     {"--database={dir}/notes.txt", NET},
     "is not a configuration database",
     true,
     [](const std::string& dir) { writeFile(dir + "/notes.txt", "not a database\n"); }},
    {"OtherDatabase",
     {"--database={dir}/other.db", NET},
     "table ap_app is missing",
     false,
     [](const std::string& dir)
     {
         Poco::Data::SQLite::Connector::registerConnector();
         Poco::Data::Session session("SQLite", dir + "/other.db");
         session << "CREATE TABLE notes (line TEXT)", now;
     }},
    {"UnknownController",
     {"--database={dir}/new.db", NET, "--controller=77"},
     "Unknown controller 77",
     false},
    {"LocalDeviceWithoutBACnetIP",
     {DB, NET, "--local-device=" + DEMO_SITE},
     "--local-device goes with --bacnet-ip only"},
    {"LocalDeviceOfSeveralWithoutTheOwnOne",
     {"--database={dir}/new.db", "--bacnet-ip=127.0.0.1:0", "--device-instance=5",
      "--local-device=" + DEMO_SITE},
     "no device 5: the file holds one device, or several with this one among them",
     false},
    {"MalformedSiteFile",
     {"--database={dir}/new.db", "--network={dir}/site.json", "--device-instance=1"},
     "{dir}/site.json",
     false,
     [](const std::string& dir) { writeFile(dir + "/site.json", "{ \"devices\": [ "); }},
};

class DemoGatewayRefusal : public DemoGatewayTest, public testing::WithParamInterface<Refusal>
{
};

TEST_P(DemoGatewayRefusal, EndsWithItsReason)
{
    const Refusal& refusal = GetParam();
    const std::string dir = _folder.path();
    if (refusal.prepare)
        refusal.prepare(dir);
    const auto before = contents(dir);
    std::vector<std::string> options;
    for (const std::string& option : refusal.options)
        options.push_back(expanded(option, dir));
    EXPECT_NE(runToEnd(options), 0);
    EXPECT_NE(_pProcess->err().find(expanded(refusal.error, dir)), std::string::npos) << _pProcess->err();
    if (refusal.leavesFolderAsItWas)
    {
        EXPECT_EQ(contents(dir), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, DemoGatewayRefusal, testing::ValuesIn(REFUSALS),
                         [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

TEST_F(DemoGatewayTest, ALocalAddressThatIsTakenOrThatNoInterfaceHasEndsTheStart)
{
    const std::string database = "--database=" + pathOf("a.db");
    Poco::Net::DatagramSocket taken(Poco::Net::SocketAddress("127.0.0.1", 0));
    const std::string takenAddress = taken.address().toString();
    for (const std::string& address : {takenAddress, std::string("192.0.2.1")})
    {
        EXPECT_NE(runToEnd({database, "--device-instance=1", "--bacnet-ip=" + address}), 0) << address;
        EXPECT_NE(_pProcess->err().find(address == takenAddress
                                            ? "cannot use the local address " + address
                                            : "No network interface has the address " + address),
                  std::string::npos)
            << _pProcess->err();
    }
}

/// The octets of a hex text ("10 08").
std::vector<unsigned char> octets(const std::string& hex)
{
    std::vector<unsigned char> result;
    std::istringstream in(hex);
    for (unsigned value = 0; in >> std::hex >> value;)
        result.push_back(static_cast<unsigned char>(value));
    return result;
}

/// A site tool on the wire: sends an APDU (hex) to `to` and returns the APDU of the answer in hex, or ""
/// when none comes within 200 ms.
std::string ask(Poco::Net::DatagramSocket& tool, const Poco::Net::SocketAddress& to, const std::string& apdu)
{
    std::vector<unsigned char> datagram = octets("81 0a 00 00 01 04 " + apdu);
    datagram[3] = static_cast<unsigned char>(datagram.size());
    tool.sendTo(datagram.data(), static_cast<int>(datagram.size()), to);
    if (!tool.poll(Poco::Timespan(0, 200000), Poco::Net::Socket::SELECT_READ))
        return "";
    unsigned char buffer[1500];
    Poco::Net::SocketAddress sender;
    const int size = tool.receiveFrom(buffer, sizeof(buffer), sender);
    std::string hex;
    for (int i = 6; i < size; ++i)
        hex += Poco::NumberFormatter::formatHex(buffer[i], 2) + (i + 1 < size ? " " : "");
    return Poco::toLower(hex);
}

TEST_F(DemoGatewayTest, OnBACnetIPSiteToolsFindTheOwnDeviceAndReadItsCpuTemperature)
{
    // The shipped description with a thermal zone of the test's: 48.25 degrees, later none at all.
    const std::string zone = pathOf("temp");
    writeFile(zone, "48250\n");
    const std::string shipped = "/sys/class/thermal/thermal_zone*/temp";
    std::string description = readFile(ORVIK_SOURCE_DIR "/sites/local-device.json");
    ASSERT_NE(description.find(shipped), std::string::npos);
    writeFile(pathOf("own.json"), description.replace(description.find(shipped), shipped.size(), zone));
    _pProcess = std::make_unique<DemoGatewayProcess>(
        std::vector<std::string>{"--database=" + pathOf("a.db"), "--device-instance=4711",
                                 "--bacnet-ip=127.0.0.1:0", "--local-device=" + pathOf("own.json")});
    const std::string answersAt = "Own BACnet device 4711 answers at ";
    ASSERT_TRUE(Orvik::Test::eventually([&] { return _pProcess->err().find(answersAt) != std::string::npos; },
                                        std::chrono::seconds(DEMO_OUTPUT_BOUND_S)))
        << _pProcess->err();
    const std::string log = _pProcess->err();
    const std::size_t at = log.find(answersAt) + answersAt.size();
    const Poco::Net::SocketAddress gateway(log.substr(at, log.find('\n', at) - at));
    Poco::Net::DatagramSocket tool(Poco::Net::SocketAddress("127.0.0.1", 0));
    // Who-Is: I-Am of device 4711, max APDU 1476.
    EXPECT_TRUE(Orvik::Test::eventually([&] { return ask(tool, gateway, "10 08") != ""; },
                                        std::chrono::seconds(DEMO_OUTPUT_BOUND_S)))
        << _pProcess->err();
    EXPECT_EQ(ask(tool, gateway, "10 08").substr(0, 29), "10 00 c4 02 00 12 67 22 05 c4");
    const std::string readPresentValue = "00 05 01 0c 0c 00 00 00 01 19 55";
    EXPECT_EQ(ask(tool, gateway, readPresentValue), "30 01 0c 0c 00 00 00 01 19 55 3e 44 42 41 00 00 3f");
    // The zone gone: the last value, with the fault flag.
    Poco::File(zone).remove();
    EXPECT_TRUE(Orvik::Test::eventually(
        [&] {
            return ask(tool, gateway, "00 05 02 0c 0c 00 00 00 01 19 6f").find("82 04 40") !=
                   std::string::npos;
        }));
    EXPECT_EQ(ask(tool, gateway, readPresentValue), "30 01 0c 0c 00 00 00 01 19 55 3e 44 42 41 00 00 3f");
    _pProcess->sendSignal(SIGINT);
    EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
}

TEST_F(DemoGatewayTest, RelativePathsAreTakenFromTheStartingFolderAlsoByADaemon)
{
    // Every file and folder option relative to the folder the program starts in: the data folder (a
    // link to the source tree), the site file, a new database and the pid file.
    Poco::File(std::string(ORVIK_SOURCE_DIR) + "/sites/demo.json").copyTo(pathOf("site.json"));
    ASSERT_EQ(symlink(ORVIK_SOURCE_DIR, pathOf("data").c_str()), 0);
    for (const bool daemon : {false, true})
    {
        const std::string name = daemon ? "daemon" : "foreground";
        SCOPED_TRACE(name);
        std::vector<std::string> options = {"--demo", "--data-dir=data", "--network=site.json",
                                            "--database=" + name + ".db", "--pidfile=" + name + ".pid"};
        if (daemon)
            options.push_back("--daemon");
        _pProcess = std::make_unique<DemoGatewayProcess>(options, _folder.path());
        // A daemon's first process ends at once; the database exists once termination signals wait.
        // The program is stopped whatever went wrong: a daemon would outlive the test.
        EXPECT_TRUE(Orvik::Test::eventually([&] { return Poco::File(pathOf(name + ".db")).exists(); },
                                            std::chrono::seconds(EXIT_BOUND_S)))
            << _pProcess->err();
        const std::string pidFile = pathOf(name + ".pid");
        ASSERT_TRUE(Poco::File(pidFile).exists());
        ASSERT_EQ(kill(std::stoi(readFile(pidFile)), SIGTERM), 0);
        EXPECT_TRUE(Orvik::Test::eventually([&] { return !Poco::File(pidFile).exists(); },
                                            std::chrono::seconds(EXIT_BOUND_S)))
            << "the pid file is removed";
        EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
    }
}

TEST_F(DemoGatewayTest, DemoRunsTheDiagnosticAppsAndStopsCleanlyOnSigint)
{
    const std::string database = pathOf("demo.db");
    // As systemd runs it: readiness and the end reported on the notification socket, a status file
    // written every half watchdog period.
    Orvik::Test::NotifySocket notifySocket;
    ::setenv("NOTIFY_SOCKET", notifySocket.path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "1000000", 1);
    _pProcess =
        std::make_unique<DemoGatewayProcess>(std::vector<std::string>{"--demo", "--database=" + database});
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    ASSERT_TRUE(_pProcess->waitForOutput("AppRP_OneShot, Device", DEMO_OUTPUT_BOUND_S))
        << _pProcess->out() << _pProcess->err();
    EXPECT_TRUE(Orvik::Test::eventually([&] { return Poco::File(pathOf("demo.status.json")).exists(); }));
    _pProcess->sendSignal(SIGINT);
    EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
    EXPECT_NE(_pProcess->out().find("TERMINATING APP"), std::string::npos);
    EXPECT_NE(_pProcess->err().find("Created configuration database " + database), std::string::npos);
    EXPECT_TRUE(Orvik::Test::eventually([&] { return notifySocket.count("STOPPING=1") == 1; }));
    const std::vector<std::string> notes = notifySocket.received();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.front(), "READY=1");
    EXPECT_EQ(runToEnd({"--status", "--database=" + database}), 0) << _pProcess->err();
    EXPECT_NE(_pProcess->out().find("AppTrendLogPusher(50001): running since"), std::string::npos)
        << _pProcess->out();

    // The second run opens the database the first one created.
    _pProcess =
        std::make_unique<DemoGatewayProcess>(std::vector<std::string>{"--demo", "--database=" + database});
    ASSERT_TRUE(_pProcess->waitForOutput("AppRP_OneShot, Device", DEMO_OUTPUT_BOUND_S)) << _pProcess->err();
    _pProcess->sendSignal(SIGTERM);
    EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
    EXPECT_NE(_pProcess->err().find("Opened configuration database " + database), std::string::npos);
}

}  // namespace
