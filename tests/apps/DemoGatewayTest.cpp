// The gateway program as a user meets it: its options, its refusals of bad input, and a demo run
// that ends cleanly on SIGINT.
#include <gtest/gtest.h>

#include <Poco/Data/SQLite/Connector.h>
#include <Poco/Data/Session.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/DatagramSocket.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <signal.h>

#include <unistd.h>
#include <utility>
#include <vector>

#include "DemoGatewayProcess.h"
#include "Eventually.h"

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
          "--bacnet-broadcast", "--bbmd", "--bbmd-ttl", "--bacnet-device"})
    {
        EXPECT_NE(_pProcess->out().find(option), std::string::npos) << option;
    }
}

TEST_F(DemoGatewayTest, BadOptionsAreRefused)
{
    EXPECT_NE(runToEnd({"--no-such-option"}), 0);
    EXPECT_NE(runToEnd({"--database=" + pathOf("a.db"), "--network=" + DEMO_SITE, "--controller=one"}), 0);
    EXPECT_NE(_pProcess->err().find("--controller: not a whole number: one"), std::string::npos)
        << _pProcess->err();
    EXPECT_NE(runToEnd({"--database=" + pathOf("a.db")}), 0);
    EXPECT_NE(_pProcess->err().find("No BACnet network"), std::string::npos) << _pProcess->err();
}

TEST_F(DemoGatewayTest, BACnetIPOptionsAreCheckedBeforeAnythingStarts)
{
    const std::string database = "--database=" + pathOf("a.db");
    // Options, and what the refusal says.
    const std::vector<std::pair<std::vector<std::string>, std::string>> table{
        {{database, "--network=" + DEMO_SITE, "--bacnet-ip"}, "either --network or --bacnet-ip"},
        {{database, "--network=" + DEMO_SITE, "--bbmd=127.0.0.1"}, "go with --bacnet-ip only"},
        {{database, "--bacnet-ip=127.0.0.1:99999"}, "--bacnet-ip: the port is a number from 0 to 65535"},
        {{database, "--bacnet-ip=::1"}, "--bacnet-ip: not an address[:port]"},
        {{database, "--bacnet-ip", "--bbmd-ttl=0"}, "--bbmd-ttl: the time-to-live is a number from 1"},
        {{database, "--bacnet-ip", "--bacnet-device=12"}, "--bacnet-device: not instance=address"},
        {{database, "--bacnet-ip", "--bacnet-device=4194303=127.0.0.1"}, "the device instance is a number"},
        {{database, "--bacnet-ip", "--bacnet-device=5=127.0.0.1/0/0a"}, "the network is a number from 1"},
        {{database, "--bacnet-ip", "--bacnet-device=5=127.0.0.1/7/zz"}, "not a MAC address: zz"}};
    for (const auto& row : table)
    {
        EXPECT_NE(runToEnd(row.first), 0) << row.second;
        EXPECT_NE(_pProcess->err().find(row.second), std::string::npos) << _pProcess->err();
    }
    EXPECT_FALSE(Poco::File(pathOf("a.db")).exists());

    // A local address that is taken, or that no interface has, ends the start.
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

TEST_F(DemoGatewayTest, DatabaseInAMissingFolderIsRefused)
{
    const std::string path = pathOf("missing/config.db");
    EXPECT_NE(runToEnd({"--database=" + path, "--network=" + DEMO_SITE}), 0);
    EXPECT_NE(_pProcess->err().find("does not exist"), std::string::npos) << _pProcess->err();
    EXPECT_FALSE(Poco::File(path).exists());
}

TEST_F(DemoGatewayTest, FileThatIsNoConfigurationDatabaseIsRefusedAndLeftAsItWas)
{
    const std::string text = pathOf("notes.txt");
    writeFile(text, "not a database\n");
    EXPECT_NE(runToEnd({"--database=" + text, "--network=" + DEMO_SITE}), 0);
    EXPECT_NE(_pProcess->err().find("is not a configuration database"), std::string::npos)
        << _pProcess->err();
    EXPECT_EQ(readFile(text), "not a database\n");

    const std::string other = pathOf("other.db");
    Poco::Data::SQLite::Connector::registerConnector();
    {
        Poco::Data::Session session("SQLite", other);
        session << "CREATE TABLE notes (line TEXT)", now;
    }
    EXPECT_NE(runToEnd({"--database=" + other, "--network=" + DEMO_SITE}), 0);
    EXPECT_NE(_pProcess->err().find("table ap_app is missing"), std::string::npos) << _pProcess->err();
}

TEST_F(DemoGatewayTest, UnknownControllerIsRefused)
{
    EXPECT_NE(runToEnd({"--database=" + pathOf("new.db"), "--network=" + DEMO_SITE, "--controller=77"}), 0);
    EXPECT_NE(_pProcess->err().find("Unknown controller 77"), std::string::npos) << _pProcess->err();
}

TEST_F(DemoGatewayTest, MalformedSiteFileIsRefused)
{
    const std::string site = pathOf("site.json");
    writeFile(site, "{ \"devices\": [ ");
    EXPECT_NE(runToEnd({"--database=" + pathOf("new.db"), "--network=" + site, "--device-instance=1"}), 0);
    EXPECT_NE(_pProcess->err().find(site), std::string::npos) << _pProcess->err();
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
    _pProcess =
        std::make_unique<DemoGatewayProcess>(std::vector<std::string>{"--demo", "--database=" + database});
    ASSERT_TRUE(_pProcess->waitForOutput("AppRP_OneShot, Device", DEMO_OUTPUT_BOUND_S))
        << _pProcess->out() << _pProcess->err();
    _pProcess->sendSignal(SIGINT);
    EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
    EXPECT_NE(_pProcess->out().find("TERMINATING APP"), std::string::npos);
    EXPECT_NE(_pProcess->err().find("Created configuration database " + database), std::string::npos);

    // The second run opens the database the first one created.
    _pProcess =
        std::make_unique<DemoGatewayProcess>(std::vector<std::string>{"--demo", "--database=" + database});
    ASSERT_TRUE(_pProcess->waitForOutput("AppRP_OneShot, Device", DEMO_OUTPUT_BOUND_S)) << _pProcess->err();
    _pProcess->sendSignal(SIGTERM);
    EXPECT_EQ(_pProcess->waitForExit(EXIT_BOUND_S), 0) << _pProcess->err();
    EXPECT_NE(_pProcess->err().find("Opened configuration database " + database), std::string::npos);
}

}  // namespace
