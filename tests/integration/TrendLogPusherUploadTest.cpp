// The trend log pusher against a simulated BACnet site and a real FTP server on loopback: documents
// read back with XML and JSON parsers and compared record by record with the site.

#include <Poco/File.h>
#include <Poco/Thread.h>

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <set>

#include "ConsoleCapture.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "TlsCertificates.h"
#include "TrendLogPusherFixture.h"

using Orvik::BACnet::Client::Simulation::SimulatedFault;
using Orvik::Test::ConsoleCapture;

namespace
{

/// The first line the gateway address script prints, line end included, as the document carries it.
std::string gatewayAddressLine()
{
    char line[256] = "";
    FILE* pipe = ::popen(ORVIK_SOURCE_DIR "/scripts/general/orvik_get_ip.sh", "r");
    if (pipe != nullptr && std::fgets(line, sizeof line, pipe) == nullptr)
        line[0] = '\0';
    if (pipe != nullptr)
        ::pclose(pipe);
    return line;
}

/// A failed attempt prints one line: `start` (the instance and the server), then `reason`.
void expectFailureLine(const std::string& output, const std::string& start, const std::string& reason)
{
    EXPECT_EQ(0u, output.find(start)) << output;
    EXPECT_NE(std::string::npos, output.find(reason, start.size())) << output;
    EXPECT_EQ(output.size() - 1, output.find('\n')) << output;
}

bool hasLogin(const Orvik::Test::FtpServer& server)
{
    const std::vector<std::string> commands = server.commands();
    return std::any_of(commands.begin(), commands.end(),
                       [](const std::string& command)
                       { return command.rfind("USER", 0) == 0 || command.rfind("PASS", 0) == 0; });
}

using TrendLogPusherUpload = TrendLogPusherFixture;

}  // namespace

TEST_F(TrendLogPusherUpload, UploadsEveryRecordOnceInXmlThenInJsonAfterARestart)
{
    serve(siteFile("test-trendlogs.json"), 2).database().setParameter(16, std::string("upload"));
    ASSERT_EQ(5u, site().trendLogs().size());
    ASSERT_TRUE(start().createAndSendFiles());
    std::vector<TrendLogPusherDocument> uploaded = documents(ftp(), "upload");
    ASSERT_EQ(1u, uploaded.size());
    const auto& root = uploaded[0].root();
    EXPECT_EQ("bacnet-2-cloud-trend-log", root.name);
    for (const auto& [name, value] : {std::pair<const char*, const char*>{"app-version", "150928A"},
                                      {"zumbra-user", "zumbra"},
                                      {"site-identifier", "site-7"},
                                      {"site-name", "Test Site"},
                                      {"parent-identifier", "17"}})
        EXPECT_EQ(value, root.child(name).value) << name;
    const std::string address = gatewayAddressLine();
    EXPECT_EQ(!address.empty(), root.hasChild("ip-address"));
    EXPECT_EQ(address, root.hasChild("ip-address") ? root.child("ip-address").value : "");
    EXPECT_TRUE(root.child("app-device").hasChild("1001"));
    // 4001 has no trend log
    EXPECT_EQ((std::vector<std::string>{"1001", "2001", "3001"}), root.child("devices").childNames());
    Next next;
    expectRecords(uploaded[0], next);
    EXPECT_EQ(10001u, next[site().trendLogs().back().channelIdentifier]);  // the meter's 10000 records

    // The gateway stops; its successor, now writing JSON, starts after the last uploaded record.
    _pRig->database().setParameter(6, std::string("1"));
    Poco::Thread::sleep(1500);  // the gateway's own trend log logs every second
    ASSERT_TRUE(start().createAndSendFiles());
    uploaded = documents(ftp(), "upload");
    ASSERT_EQ(2u, uploaded.size());
    const std::string live = site().trendLogs().front().channelIdentifier;
    const Poco::UInt64 firstNew = next[live];
    expectRecords(uploaded[1], next);
    EXPECT_GT(next[live], firstNew);
    for (const auto& tl : site().trendLogs())
    {
        EXPECT_TRUE(tl.key.deviceInstance == 1001 || uploaded[1].records(tl.channelIdentifier).empty())
            << "records of " << tl.key.objectIdentifier.toString() << " of device " << tl.key.deviceInstance
            << " sent twice";
    }
}

TEST_F(TrendLogPusherUpload, FailuresLeaveNoDocumentAndTheNextDocumentCarriesTheirRecords)
{
    serve(smallSite());
    start();
    const Poco::Nullable<std::string> found = positions();
    ASSERT_FALSE(found.isNull());  // the search stored the new trend logs at time 0
    const std::string failure =
        "AppTrendLogPusher(1): FTP upload exited with exception, server " + ftp().url() + ": ";
    for (const auto& [fault, reply] :
         {std::pair<FtpFault, std::string>{FtpFault::REFUSE_LOGIN, "530 Authentication failed."},
          {FtpFault::REFUSE_STORE, "550 Not enough storage."},
          {FtpFault::REFUSE_COMPLETION, "451 Requested action"},
          {FtpFault::REFUSE_RENAME, "550 Rename refused."}})
    {
        ftp().setFault(fault);
        const ConsoleCapture console;
        EXPECT_FALSE(_pPusher->createAndSendFiles());
        expectFailureLine(console.out(), failure, reply);  // the server's full reply
    }
    ftp().setFault(FtpFault::DROP_DATA, 3000);
    _pPusher->createAndSendFiles();  // fails while writing (true) or at the completion (false)
    ftp().setFault(FtpFault::NONE);
    _pRig->site().addFault(_GATEWAY, {SimulatedFault::READ_RANGE,
                                      {},
                                      {},
                                      {Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_OTHER},
                                      1,
                                      1});
    EXPECT_TRUE(_pPusher->createAndSendFiles());  // the document failed, the attempt ran to its end
    EXPECT_TRUE(ftp().files().empty()) << "a failed document was left on the server";
    EXPECT_EQ(found, positions()) << "positions advanced without a document";

    ASSERT_TRUE(_pPusher->createAndSendFiles());
    const std::vector<TrendLogPusherDocument> uploaded = documents(ftp());
    ASSERT_EQ(1u, uploaded.size());
    Next next;
    expectRecords(uploaded[0], next);
    EXPECT_EQ(301u, next[site().trendLogs()[0].channelIdentifier]);
    EXPECT_EQ(21u, next[site().trendLogs()[1].channelIdentifier]);
    EXPECT_NE(found, positions());
}

TEST_F(TrendLogPusherUpload, ADeviceWhoseSearchFailsHidesNoOtherDevice)
{
    serveOnly(siteFile("test-trendlogs.json"))
        .database()
        .configure("ftp://127.0.0.1:1/", "orvik", "secret", "", 2, 0);
    _pRig->site().addFault(2001,
                           {SimulatedFault::READ_PROPERTY,
                            {},
                            Orvik::BACnet::PROP_OBJECT_LIST,
                            {Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_DEVICE_BUSY}});
    std::vector<Poco::UInt32> devices;
    for (const auto& device : start().getDevices())
        devices.push_back(device.deviceInstance);
    EXPECT_EQ((std::vector<Poco::UInt32>{1001, 3001}), devices);
}

TEST_F(TrendLogPusherUpload, RefusedSessionsLeaveNoConnectionOpen)
{
    // What the process has open, without the epoll instances that the network's threads hold only
    // while they wait on their sockets.
    const auto openDescriptors = []
    {
        std::vector<std::string> descriptors;
        Poco::File("/proc/self/fd").list(descriptors);
        std::multiset<std::string> targets;
        for (const std::string& fd : descriptors)
        {
            char target[256] = "";
            if (::readlink(("/proc/self/fd/" + fd).c_str(), target, 255) > 0 &&
                std::string(target) != "anon_inode:[eventpoll]")
                targets.insert(target);
        }
        return targets;
    };
    serve(smallSite());
    start();
    ftp().setFault(FtpFault::REFUSE_SESSION);
    const ConsoleCapture console;
    EXPECT_FALSE(_pPusher->createAndSendFiles());  // first use opens what stays open anyway
    const auto openBefore = openDescriptors();
    for (int attempt = 0; attempt < 5; ++attempt)
        EXPECT_FALSE(_pPusher->createAndSendFiles());
    EXPECT_EQ(openBefore.size(), openDescriptors().size()) << testing::PrintToString(openBefore);
    EXPECT_NE(std::string::npos, console.out().find("FTP upload exited with exception"));
}

TEST_F(TrendLogPusherUpload, ServerThatStopsReadingTheDocumentEndsTheAttemptInsteadOfBlockingIt)
{
    FtpServer server("", "");  // no login: no QUIT that the server would hold back during the transfer
    // 100000 records: a document larger than all socket buffers between the gateway and the server.
    serveOnly(smallSite(100000)).database().configure(server.url(), "", "", "", 1, 0);
    auto timings = TrendLogPusherRig::quickTimings();
    timings.ftpSessionTimeoutMs = 1000;  // each of the session's waits on the stalled server
    start(timings);
    const Poco::Nullable<std::string> found = positions();
    server.setFault(FtpFault::STALL_DATA, 10000);
    const ConsoleCapture quiet;
    _pPusher->createAndSendFiles();  // returns once the session's time-outs expire
    for (const std::string& name : server.files())
        EXPECT_NE(".xml", name.substr(name.size() - 4)) << "a stalled document got its final name";
    EXPECT_EQ(found, positions());
}

TEST_F(TrendLogPusherUpload, SessionWithoutLoginAndVsftpdUploadIntoADirectory)
{
    {
        FtpServer server("", "");
        serveOnly(smallSite())
            .database()
            .configure("127.0.0.1:" + std::to_string(server.port()), "", "", "", 1, 1);
        ASSERT_TRUE(start().createAndSendFiles());
        const std::vector<TrendLogPusherDocument> uploaded = documents(server);
        ASSERT_EQ(1u, uploaded.size());
        EXPECT_FALSE(hasLogin(server));
        Next next;
        expectRecords(uploaded[0], next);
        EXPECT_EQ(301u, next[site().trendLogs()[0].channelIdentifier]);
    }
    if (!FtpServer::vsftpdAvailable())
        GTEST_SKIP() << "vsftpd needs root and /usr/sbin/vsftpd";
    FtpServer vsftpd("anonymous", "", FtpServer::Engine::VSFTPD);
    forgetGateway();
    serveOnly(smallSite()).database().configure(vsftpd.url(), "anonymous", "gateway@", "upload", 1, 0);
    ASSERT_TRUE(start().createAndSendFiles());
    const std::vector<TrendLogPusherDocument> uploaded = documents(vsftpd, "upload");
    ASSERT_EQ(1u, uploaded.size());
    Next next;
    expectRecords(uploaded[0], next);
    EXPECT_EQ(301u, next[site().trendLogs()[0].channelIdentifier]);
}

TEST_F(TrendLogPusherUpload, FtpsUploadsOnlyToAServerWhoseCertificateIsTrustedForItsName)
{
    using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DocumentUpload;
    const Orvik::Test::TlsCertificates good;
    const Orvik::Test::TlsCertificates otherAuthority;
    const Orvik::Test::TlsCertificates otherName("ftp.example.invalid");
    struct Case
    {
        const char* what;
        const Orvik::Test::TlsCertificates& server;
        std::string trusted;  // empty: the system's trust store
        const char* reason;   // empty: the upload succeeds
    };
    const Case cases[] = {
        {"trusted CA and name", good, good.caFile(), ""},
        {"CA not trusted", good, otherAuthority.caFile(), "certificate checked against the CA"},
        {"CA not in the system store", good, "", "checked against the system's trust store"},
        {"certificate for another name", otherName, otherName.caFile(), "does not name 127.0.0.1"}};
    const std::string trustedBefore = DocumentUpload::trustedCertificates();
    // A document of some MB: its end must survive the close of the TLS data connection.
    serveOnly(smallSite(100000));
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FtpServer server("orvik", "secret", FtpServer::Engine::PYFTPDLIB, &c.server);
        _pRig->database().configure(server.url(), "orvik", "secret", "upload", 1, 0);
        DocumentUpload::setTrustedCertificates(c.trusted);
        start();
        const Poco::Nullable<std::string> found = positions();
        const ConsoleCapture console;
        const bool uploaded = _pPusher->createAndSendFiles();
        if (*c.reason == '\0')
        {
            EXPECT_TRUE(uploaded) << console.out();
            EXPECT_EQ(1u, documents(server, "upload").size()) << "the document's end is missing";
            EXPECT_NE(found, positions());
            const std::vector<std::string> commands = server.commands();
            EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "PROT P"));
            continue;
        }
        EXPECT_FALSE(uploaded);
        EXPECT_TRUE(server.files("upload").empty());
        EXPECT_EQ(found, positions());
        expectFailureLine(console.out(),
                          "AppTrendLogPusher(1): FTP upload exited with exception, server ftps://", c.reason);
        EXPECT_FALSE(hasLogin(server)) << "login sent to an untrusted server";
    }
    DocumentUpload::setTrustedCertificates(trustedBefore);
}
