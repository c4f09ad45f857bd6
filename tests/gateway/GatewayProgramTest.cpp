// The gateway program as a user meets it: its options, its refusals of bad input, its own device on
// BACnet/IP, a demo run that ends cleanly on a signal, the watchdog fed through a slow search, and the
// modes of the files it makes whatever the umask.
#include "ConfigurationDatabase.h"
#include "Eventually.h"
#include "GatewayProgramFixture.h"
#include "NotifySocket.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "ScopedUmask.h"
#include "StatusFile.h"

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/Session.h>
#include <Poco/File.h>
#include <Poco/JSON/Object.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/NumberFormatter.h>
#include <Poco/String.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

using namespace Orvik::Test;
using namespace Poco::Data::Keywords;
using Stream = ChildProcess::Stream;

namespace
{

TEST_F(GatewayProgramTest, HelpListsTheOptions)
{
    const ProgramResult help = run({"--help"});
    EXPECT_EQ(help.code, 0);
    for (const char* option :
         {"--database", "--controller", "--device-instance", "--network", "--demo", "--syslog", "--bacnet-ip",
          "--bacnet-broadcast", "--bbmd", "--bbmd-ttl", "--bacnet-device", "--status", "--start-pause",
          "--ftps-ca-file", "--sftp-known-hosts", "--sftp-host-fingerprint", "--sftp-trust-new-hosts",
          "--sftp-key-file", "config help"})
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
    {"SftpFingerprintMalformed",
     {DB, NET, "--sftp-host-fingerprint=MD5:16:27"},
     "--sftp-host-fingerprint: not SHA256: and 43 base64 characters"},
    {"SftpKeyFileOpenToOthers",
     {DB, NET, "--sftp-key-file={dir}/id_ed25519"},
     "--sftp-key-file: {dir}/id_ed25519 is open to other users than its owner",
     true,
     [](const std::string& dir)
     {
         writeFile(dir + "/id_ed25519", "key\n");
         ::chmod((dir + "/id_ed25519").c_str(), 0644);
     }},
    {"MalformedSiteFile",
     {"--database={dir}/new.db", "--network={dir}/site.json", "--device-instance=1"},
     "{dir}/site.json",
     false,
     [](const std::string& dir) { writeFile(dir + "/site.json", "{ \"devices\": [ "); }},
};

class GatewayProgramRefusal : public GatewayProgramTest, public testing::WithParamInterface<Refusal>
{
};

TEST_P(GatewayProgramRefusal, EndsWithItsReason)
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
    const ProgramResult result = run(options);
    EXPECT_NE(result.code, 0);
    EXPECT_NE(result.err.find(expanded(refusal.error, dir, taken.address().toString())), std::string::npos)
        << result.err;
    if (refusal.leavesFolderAsItWas)
    {
        EXPECT_EQ(contents(dir), before);
    }
}

INSTANTIATE_TEST_SUITE_P(Starts, GatewayProgramRefusal, testing::ValuesIn(REFUSALS),
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

TEST_F(GatewayProgramTest, OnBACnetIPSiteToolsFindTheOwnDeviceAndReadItsCpuTemperature)
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

TEST_F(GatewayProgramTest, RelativePathsAreTakenFromTheStartingFolderAlsoByADaemon)
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

TEST_F(GatewayProgramTest, DemoRunsTheDiagnosticAppsAndStopsCleanlyOnSigint)
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
    const ProgramResult status = run({"--status", "--database=" + database});
    EXPECT_EQ(status.code, 0) << status.err;
    EXPECT_NE(status.out.find("AppTrendLogPusher(50001): running since"), std::string::npos) << status.out;

    // The second run opens the database the first one created.
    pProgram = start({"--demo", NO_PAUSE, "--database=" + database});
    ASSERT_TRUE(prints(*pProgram, Stream::OUTPUT, "AppRP_OneShot, Device")) << pProgram->errorText();
    EXPECT_EQ(pProgram->stop(BOUND_MS), 0) << pProgram->errorText();
    EXPECT_TRUE(prints(*pProgram, Stream::ERROR, "Opened configuration database " + database));
}

TEST_F(GatewayProgramTest, TheWatchdogIsFedWhileTheTrendLogSearchWaitsForSlowDevices)
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

TEST_F(GatewayProgramTest, TheDatabaseItsJournalsAndTheStatusFileAreTheOwnersOnlyWhateverTheUmask)
{
    const ScopedUmask noMask(0);
    const Orvik::Gateway::ConfigurationDatabase database(_database, {ORVIK_SOURCE_DIR "/db/schema.sql"},
                                                         ORVIK_SOURCE_DIR "/db/apps.sql");
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

}  // namespace
