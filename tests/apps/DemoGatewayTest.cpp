// The gateway program as a user meets it: its options, its refusals of bad input, a demo run that ends
// cleanly on a signal, and its configuration command (a round of changes with export and import, every
// refusal leaving the database untouched, secrets masked and kept); the modes of the files it makes.
#include <gtest/gtest.h>

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/Session.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/JSON/Object.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/NumberFormatter.h>
#include <Poco/StreamCopier.h>
#include <Poco/String.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include "ChildProcess.h"
#include "ConfigurationDatabase.h"
#include "ConsoleCapture.h"
#include "Eventually.h"
#include "NotifySocket.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "StatusFile.h"

using namespace Poco::Data::Keywords;
using Orvik::Test::ChildProcess;
using Stream = Orvik::Test::ChildProcess::Stream;

namespace
{

/// Bound on the waits: it only keeps a broken program from hanging the suite.
const int BOUND_MS = 60000;
const std::string DEMO_SITE = ORVIK_SOURCE_DIR "/sites/demo.json";
/// The demo's apps start at once instead of after their pause of seconds.
const std::string NO_PAUSE = "--start-pause=0";

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

/// A stream of the program as one text, line by line.
std::string textOf(const ChildProcess& program, Stream stream)
{
    std::string text;
    for (const std::string& line : program.lines(stream))
        text += line + "\n";
    return text;
}

/// Waits until a line of `stream` holds `text`.
bool prints(ChildProcess& program, Stream stream, const std::string& text)
{
    const auto holds = [&](const std::vector<std::string>& lines)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    return program.waitFor(stream, holds, BOUND_MS);
}

/// The permission bits of a file; 07777 when there is none.
mode_t modeOf(const std::string& path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 07777;
}

/// The process's umask for a test, which the programs it starts inherit.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : _previous(::umask(mask)) {}
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;
    ~ScopedUmask() { ::umask(_previous); }

private:
    const mode_t _previous;
};

struct Result
{
    int code = -1;
    std::string out;
    std::string err;
};

class DemoGatewayTest : public testing::Test
{
protected:
    DemoGatewayTest() { _folder.createDirectories(); }

    std::string pathOf(const std::string& name) const { return _folder.path() + "/" + name; }

    /// Starts the gateway program (through the emulator in a cross build), after the words of `prefix`.
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& options,
                                               const std::string& folder = "",
                                               std::vector<std::string> prefix = {})
    {
        const Poco::StringTokenizer words(ORVIK_GATEWAY_COMMAND, "|",
                                          Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        prefix.insert(prefix.end(), words.begin(), words.end());
        prefix.insert(prefix.end(), options.begin(), options.end());
        return std::make_unique<ChildProcess>(
            prefix.front(), std::vector<std::string>(prefix.begin() + 1, prefix.end()), folder);
    }

    /// Runs the program to its end.
    static Result run(const std::vector<std::string>& options, std::vector<std::string> prefix = {})
    {
        const auto pProgram = start(options, "", std::move(prefix));
        Result result;
        result.code = pProgram->wait(BOUND_MS);
        // The readers see the end of both streams soon after the program's end.
        const auto never = [](const std::vector<std::string>&) { return false; };
        pProgram->waitFor(Stream::OUTPUT, never, BOUND_MS);
        pProgram->waitFor(Stream::ERROR, never, BOUND_MS);
        result.out = textOf(*pProgram, Stream::OUTPUT);
        result.err = textOf(*pProgram, Stream::ERROR);
        return result;
    }

    /// `orvik-gateway config --database=<database> <args>`; `asOtherUser` runs it as nobody, who may read
    /// the test's files but not write them.
    Result config(const std::vector<std::string>& args, const std::string& database = "",
                  bool asOtherUser = false) const
    {
        std::vector<std::string> options = {"config",
                                            "--database=" + (database.empty() ? _database : database)};
        options.insert(options.end(), args.begin(), args.end());
        return run(options, asOtherUser ? std::vector<std::string>{"setpriv", "--reuid=65534",
                                                                   "--regid=65534", "--clear-groups"}
                                        : std::vector<std::string>{});
    }

    Poco::TemporaryFile _folder;
    const std::string _database = pathOf("config.db");
};

TEST_F(DemoGatewayTest, HelpListsTheOptions)
{
    const Result help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option : {"--database", "--controller", "--device-instance", "--network", "--demo",
                               "--syslog", "--bacnet-ip", "--bacnet-broadcast", "--bbmd", "--bbmd-ttl",
                               "--bacnet-device", "--status", "--start-pause", "config help"})
        EXPECT_NE(help.out.find(option), std::string::npos) << option;
}

/// A start the program refuses: its options and files, and what its refusal says. "{dir}" stands for the
/// test's folder, "{taken}" for a local address that a socket of the test holds.
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

std::string expanded(std::string text, const std::string& dir, const std::string& taken)
{
    for (const auto& [name, value] : {std::make_pair("{dir}", dir), std::make_pair("{taken}", taken)})
        if (const auto at = text.find(name); at != std::string::npos)
            text.replace(at, std::string(name).size(), value);
    return text;
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
    {"PauseNotANumber", {DB, NET, "--start-pause=-1"}, "--start-pause: not an unsigned number: -1"},
    {"NoNetwork", {DB}, "No BACnet network"},
    {"SiteAndBACnetIP", {DB, NET, "--bacnet-ip"}, "either --network or --bacnet-ip"},
    {"OptionalValueAfterABlank",
     {DB, "--bacnet-ip", "127.0.0.1:47830"},
     "Unexpected argument: 127.0.0.1:47830 (an option's optional value is written with '=': "
     "--bacnet-ip=127.0.0.1:47830)"},
    {"ArgumentAfterAnOptionsValue",
     {DB, NET, "127.0.0.1:47830"},
     "Unexpected argument: 127.0.0.1:47830 (see --help)"},
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
    {"LocalAddressTaken",
     {DB, "--device-instance=1", "--bacnet-ip={taken}"},
     "cannot use the local address {taken}",
     false},
    {"LocalAddressOfNoInterface",
     {DB, "--device-instance=1", "--bacnet-ip=192.0.2.1"},
     "No network interface has the address 192.0.2.1",
     false},
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
    const Poco::Net::DatagramSocket taken(Poco::Net::SocketAddress("127.0.0.1", 0));
    if (refusal.prepare)
        refusal.prepare(dir);
    const auto before = contents(dir);
    std::vector<std::string> options;
    for (const std::string& option : refusal.options)
        options.push_back(expanded(option, dir, taken.address().toString()));
    const Result result = run(options);
    EXPECT_NE(result.code, 0);
    EXPECT_NE(result.err.find(expanded(refusal.error, dir, taken.address().toString())), std::string::npos)
        << result.err;
    if (refusal.leavesFolderAsItWas)
    {
        EXPECT_EQ(contents(dir), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, DemoGatewayRefusal, testing::ValuesIn(REFUSALS),
                         [](const testing::TestParamInfo<Refusal>& info) { return info.param.name; });

/// A site tool on the wire: sends an APDU (hex) to `to` and returns the APDU of the answer in hex, or ""
/// when none comes within 200 ms.
std::string ask(Poco::Net::DatagramSocket& tool, const Poco::Net::SocketAddress& to, const std::string& apdu)
{
    std::vector<unsigned char> datagram;
    std::istringstream in("81 0a 00 00 01 04 " + apdu);
    for (unsigned value = 0; in >> std::hex >> value;)
        datagram.push_back(static_cast<unsigned char>(value));
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
    const auto pProgram = start({"--database=" + pathOf("a.db"), "--device-instance=4711",
                                 "--bacnet-ip=127.0.0.1:0", "--local-device=" + pathOf("own.json")});
    const std::string answersAt = "Own BACnet device 4711 answers at ";
    ASSERT_TRUE(prints(*pProgram, Stream::ERROR, answersAt)) << pProgram->errorText();
    const std::string log = pProgram->errorText();
    const std::size_t at = log.find(answersAt) + answersAt.size();
    const Poco::Net::SocketAddress gateway(log.substr(at, log.find('\n', at) - at));
    Poco::Net::DatagramSocket tool(Poco::Net::SocketAddress("127.0.0.1", 0));
    // Who-Is: I-Am of device 4711, max APDU 1476.
    EXPECT_TRUE(Orvik::Test::eventually([&] { return ask(tool, gateway, "10 08") != ""; }))
        << pProgram->errorText();
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
    EXPECT_EQ(pProgram->stop(BOUND_MS), 0) << pProgram->errorText();
}

TEST_F(DemoGatewayTest, RelativePathsAreTakenFromTheStartingFolderAlsoByADaemon)
{
    // Every file and folder option relative to the folder the program starts in: the data folder (a
    // link to the source tree), the site file, a new database and the pid file.
    Poco::File(DEMO_SITE).copyTo(pathOf("site.json"));
    ASSERT_EQ(symlink(ORVIK_SOURCE_DIR, pathOf("data").c_str()), 0);
    for (const std::string name : {"foreground", "daemon"})
    {
        SCOPED_TRACE(name);
        std::vector<std::string> options = {"--demo",
                                            NO_PAUSE,
                                            "--data-dir=data",
                                            "--network=site.json",
                                            "--database=" + name + ".db",
                                            "--pidfile=" + name + ".pid"};
        if (name == "daemon")
            options.push_back("--daemon");
        const auto pProgram = start(options, _folder.path());
        // A daemon's first process ends at once; the database exists once termination signals wait.
        // The program is stopped whatever went wrong: a daemon would outlive the test.
        EXPECT_TRUE(Orvik::Test::eventually([&] { return Poco::File(pathOf(name + ".db")).exists(); }))
            << pProgram->errorText();
        const std::string pidFile = pathOf(name + ".pid");
        ASSERT_TRUE(Poco::File(pidFile).exists());
        ASSERT_EQ(kill(std::stoi(readFile(pidFile)), SIGTERM), 0);
        EXPECT_TRUE(Orvik::Test::eventually([&] { return !Poco::File(pidFile).exists(); }))
            << "the pid file is removed";
        EXPECT_EQ(pProgram->wait(BOUND_MS), 0) << pProgram->errorText();
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
    auto pProgram = start({"--demo", NO_PAUSE, "--database=" + database});
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    ASSERT_TRUE(prints(*pProgram, Stream::OUTPUT, "AppRP_OneShot, Device")) << pProgram->errorText();
    EXPECT_TRUE(Orvik::Test::eventually([&] { return Poco::File(pathOf("demo.status.json")).exists(); }));
    EXPECT_EQ(pProgram->stop(BOUND_MS), 0) << pProgram->errorText();
    EXPECT_TRUE(prints(*pProgram, Stream::OUTPUT, "TERMINATING APP"));
    EXPECT_TRUE(prints(*pProgram, Stream::ERROR, "Created configuration database " + database));
    EXPECT_TRUE(Orvik::Test::eventually([&] { return notifySocket.count("STOPPING=1") == 1; }));
    const std::vector<std::string> notes = notifySocket.received();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.front(), "READY=1");
    const Result status = run({"--status", "--database=" + database});
    EXPECT_EQ(status.code, 0) << status.err;
    EXPECT_NE(status.out.find("AppTrendLogPusher(50001): running since"), std::string::npos) << status.out;

    // The second run opens the database the first one created.
    pProgram = start({"--demo", NO_PAUSE, "--database=" + database});
    ASSERT_TRUE(prints(*pProgram, Stream::OUTPUT, "AppRP_OneShot, Device")) << pProgram->errorText();
    EXPECT_EQ(pProgram->stop(BOUND_MS), 0) << pProgram->errorText();
    EXPECT_TRUE(prints(*pProgram, Stream::ERROR, "Opened configuration database " + database));
}

TEST_F(DemoGatewayTest, TheWatchdogIsFedWhileTheTrendLogSearchWaitsForSlowDevices)
{
    // Ten devices answering 250 ms late: the search (the Who-Is window of 3 s, then the devices) takes
    // longer than the watchdog period of 2 s, and the supervisor must hear the pusher all through it.
    std::string site = R"({"devices": [{"instance": 1001})";
    for (int device = 2001; device <= 2010; ++device)
    {
        site += R"(, {"instance": )" + std::to_string(device) + R"(, "faults": {"delayMs": 250}, "objects": [
            {"type": "analog-value", "instance": 1}, {"type": "trend-log", "instance": 1, "logs": "analog-value:1",
            "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": 10}}]})";
    }
    writeFile(pathOf("slow.json"), site + "]}");
    ASSERT_EQ(config({"add", "AppTrendLogPusher", "--name=Uploads", "trend-logs-from=2",
                      "ftp-server=ftp://127.0.0.1:1"})
                  .code,
              0);
    Orvik::Test::NotifySocket notifySocket;
    ::setenv("NOTIFY_SOCKET", notifySocket.path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "2000000", 1);
    auto pProgram = start(
        {NO_PAUSE, "--device-instance=1001", "--database=" + _database, "--network=" + pathOf("slow.json")});
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    ASSERT_TRUE(prints(*pProgram, Stream::OUTPUT, "Search done in")) << pProgram->errorText();
    const std::string out = textOf(*pProgram, Stream::OUTPUT);
    const std::size_t at = out.find("Search done in ") + std::strlen("Search done in ");
    EXPECT_GT(std::stod(out.substr(at)), 2.0) << "the search was not longer than the watchdog period";
    EXPECT_NE(out.find("10 trend log(s) in 10 device(s)"), std::string::npos) << out;
    EXPECT_EQ(pProgram->stop(BOUND_MS), 0) << pProgram->errorText();
    EXPECT_EQ(pProgram->errorText().find("has not answered"), std::string::npos) << pProgram->errorText();
    EXPECT_GT(notifySocket.count("WATCHDOG=1"), 2);
}

TEST_F(DemoGatewayTest, ConfigurationIsChangedByNameExportedAndImportedIntoAnotherGateway)
{
    ASSERT_EQ(
        config({"add", "AppTrendLogPusher", "--name=Uploads", "period=5", "ftp-server=ftp://ftp.example.com",
                "excluded=[device:7/trend-log:3, device:9/device:9]"})
            .code,
        0);
    ASSERT_EQ(config({"add", "appwhois", "--name", "Who-Is", "--disabled"}).code, 0);
    ASSERT_EQ(config({"set", "Uploads", "site-name=Hall \"A\"", "period=1"}).code, 0);
    ASSERT_EQ(config({"enable", "Who-Is"}).code, 0);

    const std::string shown = config({"show", "Uploads"}).out;
    // Lists are stored in the grammar's own form, whatever blanks were typed.
    for (const char* line : {"Uploads (id 1): AppTrendLogPusher, enabled", "period             = 1\n",
                             "retry-count        = 3  (default)",
                             "excluded           = [device:7/trend-log:3, device:9/device:9]"})
        EXPECT_NE(shown.find(line), std::string::npos) << shown;

    ASSERT_EQ(config({"export", pathOf("site.json")}).code, 0);
    const std::string document = readFile(pathOf("site.json"));
    EXPECT_NE(document.find(R"("site-name": "Hall \"A\"")"), std::string::npos) << document;
    EXPECT_EQ(document.find("retry-count"), std::string::npos) << "defaults are not exported";

    const std::string other = pathOf("other.db");
    ASSERT_EQ(config({"--database", other, "add", "AppRR", "--name=Leftover"}).code, 0);  // space form
    const Result imported = config({"import", pathOf("site.json")}, other);
    ASSERT_EQ(imported.code, 0) << imported.err;
    ASSERT_EQ(config({"export", pathOf("again.json")}, other).code, 0);
    EXPECT_EQ(readFile(pathOf("again.json")), document);

    ASSERT_EQ(config({"remove", "Who-Is"}).code, 0);
    EXPECT_EQ(config({"show"}).out.find("Who-Is"), std::string::npos);
}

TEST_F(DemoGatewayTest, ConfigurationOptionsMayFollowTheCommand)
{
    const std::string other = pathOf("other.db");
    const Result apps = run({"config", "apps", "--database=" + other});
    ASSERT_EQ(apps.code, 0) << apps.err;
    EXPECT_TRUE(Poco::File(other).exists());
    // The value of "--name" is the name even where it looks like an option.
    ASSERT_EQ(run({"config", "add", "AppWhoIs", "--name", "--help", "--database", other, "--disabled"}).code,
              0);
    const Result shown = run({"config", "show", "--database", other});
    EXPECT_NE(shown.out.find("--help (id 1): AppWhoIs, disabled"), std::string::npos) << shown.out;
}

TEST_F(DemoGatewayTest, ConfigurationInputThatIsBadIsRefusedWithOneClearMessageAndTheDatabaseUnchanged)
{
    ASSERT_EQ(config({"add", "AppTrendLogPusher", "--name=Uploads", "period=5"}).code, 0);
    writeFile(pathOf("not-json.json"), "{\"instances\": [ {\"name\": ");
    writeFile(pathOf("twice.json"), R"({"instances": [{"name": "A", "app": "AppWhoIs",
                                       "parameters": {"low-limit": "1", "low-limit": "2"}}]})");
    writeFile(pathOf("halfway.json"), R"({"instances": [{"name": "A", "app": "AppWhoIs"},
                                          {"name": "B", "app": "AppWhoIs", "parameters": {"high-limit": "-3"}}]})");
    writeFile(pathOf("not-a-database.db"), "site notes, not a database\n");

    // The args, the refusal (a part of the one line on standard error), the database when not the
    // test's, and whether a user who may not write the database gives the command.
    struct Case
    {
        std::vector<std::string> args;
        std::string expected;
        std::string database = "";
        bool asOtherUser = false;
    };
    const std::vector<Case> cases = {
        {{"add", "AppTeleport", "--name=T"}, "Unknown app 'AppTeleport'"},
        {{"set", "Uploads", "colour=red"}, "app AppTrendLogPusher has no parameter 'colour'"},
        {{"set", "Uploads", "period=soon"},
         "Instance 'Uploads', parameter 'period': expected an unsigned whole number, for example 15; given "
         "'soon'"},
        {{"set", "Uploads", "site-name=[a, b]"}, "parameter 'site-name'"},  // a list where one value goes
        {{"add", "AppWhoIs", "--name=Uploads"}, "already has an instance named 'Uploads'"},
        {{"remove", "Downloads"}, "No instance 'Downloads'"},
        {{"add", "AppWhoIs", "--name=Up\nloads"}, "Instance name: expected up to 64 characters"},
        // Texts the app would refuse at its start: a line break, longer than a file name allows.
        {{"set", "Uploads", "file-name-initials=A\r\nDELE x"},
         "parameter 'file-name-initials': expected a text of up to 200 octets without CR, LF"},
        {{"set", "Uploads", "file-name-initials=" + std::string(201, 'A')}, "is longer than 200 octets"},
        {{"import", pathOf("not-json.json")}, "Not a JSON document"},
        {{"import", pathOf("twice.json")}, "\"low-limit\" is named twice"},
        {{"import", pathOf("halfway.json")}, "Instance 'B', parameter 'high-limit'"},
        {{"show"}, "is not a configuration database", pathOf("not-a-database.db")},
        {{"set", "Uploads", "period=7"}, "Cannot write the configuration database", "", true},
        {{"show", "--with-secrets"}, "--with-secrets goes with export only"},
        {{"export", "-", "--show-secrets"}, "--show-secrets goes with show only"},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.expected);
        const std::string database = c.database.empty() ? _database : c.database;
        const std::string before = readFile(database);
        if (c.asOtherUser && ::geteuid() != 0)
            Poco::File(database).setWriteable(false);
        // Root gives the command as another user, who may read the database (the owner's only) but not write
        // it.
        if (c.asOtherUser && ::geteuid() == 0)
            ::chmod(database.c_str(), 0644);
        const Result result = config(c.args, database, c.asOtherUser && ::geteuid() == 0);
        Poco::File(database).setWriteable(true);
        EXPECT_GT(result.code, 0);
        EXPECT_NE(result.err.find(c.expected), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_EQ(readFile(database), before);
    }
}

}  // namespace

TEST_F(DemoGatewayTest, TheDatabaseItsJournalsAndTheStatusFileAreTheOwnersOnlyWhateverTheUmask)
{
    const ScopedUmask noMask(0);
    const Orvik::Gateway::ConfigurationDatabase database(_database, {ORVIK_SOURCE_DIR "/db/schema.sql"});
    EXPECT_EQ(modeOf(_database), 0600u);
    // SQLite makes a transaction's journal, or in WAL mode the WAL and its index, with the database's mode.
    Orvik::Utility::Data::TeskDbSession& session = *Orvik::Utility::Data::pDB;
    const std::map<std::string, std::vector<std::string>> journals = {{"delete", {"-journal"}},
                                                                      {"wal", {"-wal", "-shm"}}};
    for (const auto& [journalMode, suffixes] : journals)
    {
        std::string mode;
        session << "PRAGMA journal_mode=" + journalMode, into(mode), now;
        ASSERT_EQ(mode, journalMode);
        session.begin();
        session << "INSERT INTO dv_controller (id_dv_controller) VALUES (77)", now;
        for (const std::string& suffix : suffixes)
            EXPECT_EQ(modeOf(_database + suffix), 0600u) << suffix;
        session.rollback();
    }
    // Also over what an interrupted write left behind with a wider mode.
    const Orvik::Gateway::StatusFile status(Orvik::Gateway::StatusFile::pathFor(_database));
    writeFile(status.path() + ".new", "{");
    ASSERT_EQ(modeOf(status.path() + ".new"), 0666u);
    status.write(Poco::JSON::Object());
    EXPECT_EQ(modeOf(status.path()), 0600u);
}

TEST_F(DemoGatewayTest, SecretsAreMaskedExportedOnlyWhenAskedAndKeptByAnImportWithoutThem)
{
    const ScopedUmask noMask(0);
    const std::string password = "pa55-word";
    const std::string token = "t0ken-value";
    ASSERT_EQ(config({"add", "AppTrendLogPusher", "--name=Uploads", "ftp-server=ftp://ftp.example.com",
                      "ftp-user=site7", "ftp-password=" + password})
                  .code,
              0);
    EXPECT_EQ(modeOf(_database), 0600u) << "the database the command creates";
    ASSERT_EQ(config({"add", "AppWatsonMQTT", "--name=Bridge", "organisation-id=myorg",
                      "authentication-token=" + token})
                  .code,
              0);

    // The command, what its output holds and what it must not hold.
    struct Case
    {
        std::vector<std::string> args;
        std::vector<std::string> shown;
        std::vector<std::string> hidden;
    };
    const std::vector<Case> cases = {
        {{"show"},
         {"ftp-password       = ********\n", "authentication-token  = ********\n"},
         {password, token}},
        {{"show", "--show-secrets"}, {"= " + password + "\n", "= " + token + "\n"}, {"********"}},
        {{"--show-secrets", "show", "Uploads"}, {"= " + password + "\n"}, {token}},
        {{"export", "-"},
         {R"("ftp-user": "site7")", R"("organisation-id": "myorg")"},
         {password, token, "ftp-password", "authentication-token"}},
        {{"export", "-", "--with-secrets"},
         {R"("ftp-password": ")" + password, R"("authentication-token": ")" + token},
         {}},
        {{"apps"}, {"ftp-password", "(secret)"}, {}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(Poco::cat(std::string(" "), c.args.begin(), c.args.end()));
        const Result result = config(c.args);
        ASSERT_EQ(result.code, 0) << result.err;
        for (const std::string& text : c.shown)
            EXPECT_NE(result.out.find(text), std::string::npos) << text << " in:\n" << result.out;
        for (const std::string& text : c.hidden)
            EXPECT_EQ(result.out.find(text), std::string::npos) << text << " in:\n" << result.out;
    }
    EXPECT_EQ(Orvik::Test::countOf(config({"apps"}).out, "(secret)"), 2u);

    // An export without the secrets, imported, leaves them stored; one with them sets them.
    ASSERT_EQ(config({"export", pathOf("site.json")}).code, 0);
    EXPECT_EQ(modeOf(pathOf("site.json")), 0600u);
    ASSERT_EQ(config({"export", pathOf("secrets.json"), "--with-secrets"}).code, 0);
    ASSERT_EQ(config({"set", "Uploads", "period=5"}).code, 0);
    ASSERT_EQ(config({"import", pathOf("site.json")}).code, 0);
    const std::string kept = config({"show", "--show-secrets"}).out;
    EXPECT_NE(kept.find("= " + password + "\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("= " + token + "\n"), std::string::npos) << kept;
    EXPECT_NE(kept.find("period             = 15  (default)"), std::string::npos)
        << "the rest is the document's";
    ASSERT_EQ(config({"set", "Uploads", "ftp-password=changed"}).code, 0);
    ASSERT_EQ(config({"import", pathOf("secrets.json")}).code, 0);
    EXPECT_NE(config({"show", "--show-secrets", "Uploads"}).out.find("= " + password + "\n"),
              std::string::npos);

    // A password the FTP command cannot carry is refused without being repeated.
    const Result refused = config({"set", "Uploads", "ftp-password=" + password + "\r\nQUIT"});
    EXPECT_GT(refused.code, 0);
    EXPECT_NE(refused.err.find("parameter 'ftp-password'"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(password), std::string::npos) << refused.err;
}
