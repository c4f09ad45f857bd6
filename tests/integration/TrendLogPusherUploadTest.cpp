// The trend log pusher against a simulated BACnet site and a real FTP server on loopback: documents read
// back with XML and JSON parsers and compared record by record with the site; its cycle (retries, the wait
// that keeps its due time, the stop request during an upload and during a wait longer than any 32-bit
// millisecond count); upload positions across clock changes and on unusual but legal sites.

#include <Poco/AutoPtr.h>
#include <Poco/File.h>
#include <Poco/Thread.h>

#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <set>
#include <thread>

#include "ConsoleCapture.h"
#include "Orvik_Utility/Notification.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "ScopedTimeZone.h"
#include "TextFile.h"
#include "TlsCertificates.h"
#include "TrendLogPusherFixture.h"

using Orvik::BACnet::Client::Simulation::SimulatedFault;
using Orvik::Test::ConsoleCapture;
using Orvik::Test::ScopedTimeZone;
using Orvik::Utility::Notification;

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

void post(TrendLogPusherFixture::AppTrendLogPusher& pusher, Notification::Action action)
{
    pusher.getReadQueue()->enqueueNotification(new Notification(action));
}

/// The gateway's device with one trend log of `count` records from `start`, `interval` seconds apart;
/// `overwrittenRead` is how it answers a read of a record it no longer holds.
std::string gatewaySite(const std::string& start, int interval, int count, int bufferSize,
                        const std::string& overwrittenRead)
{
    return R"({"devices": [{"instance": 1001, "objects": [{"type": "analog-value", "instance": 1},
  {"type": "trend-log", "instance": 1, "logs": "analog-value:1", "overwrittenRead": ")" +
           overwrittenRead + R"(", "log": {"start": ")" + start + R"(", "intervalSeconds": )" +
           std::to_string(interval) + R"(, "count": )" + std::to_string(count) +
           (bufferSize == 0 ? "" : R"(, "bufferSize": )" + std::to_string(bufferSize)) + "}}]}]}";
}

using TrendLogPusherUpload = TrendLogPusherFixture;
using TrendLogPusherCycle = TrendLogPusherFixture;
using TrendLogPusherPositions = TrendLogPusherFixture;

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
    EXPECT_NE(_pRig->out().find("1 device(s) failed: device:2001\n"), std::string::npos) << _pRig->out();
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

TEST_F(TrendLogPusherUpload, SftpFailuresEndTheAttemptWithoutADocumentOrALeftOverTemporaryFile)
{
    if (ssh() == nullptr)
        GTEST_SKIP() << SshServer::missing();
    SshServer& server = *ssh();
    setSftp(pinned(server.fingerprint()));
    // 100000 records: a document larger than all buffers between the gateway and the server.
    serveOnly(smallSite(100000))
        .database()
        .configure(server.url(), SshServer::_USER, "secret", "upload", 1, 0);
    auto timings = TrendLogPusherRig::quickTimings();
    timings.ftpSessionTimeoutMs = 1000;
    const Poco::Timestamp fixed;
    timings.now = [fixed] { return fixed; };
    start(timings);
    const Poco::Nullable<std::string> found = positions();

    // The final name exists already: the rename is refused (never replacing a document), the temporary
    // file removed.
    const Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataFtpServer anyServer;
    const std::string initials = "TST";
    const std::string taken = "upload/" + Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DocumentUpload(
                                              anyServer, initials, timings)
                                              .getFileName(fixed);
    Orvik::Test::writeFile(server.home() + "/" + taken, "an earlier document");
    {
        const ConsoleCapture console;
        EXPECT_FALSE(_pPusher->createAndSendFiles());
        EXPECT_NE(std::string::npos, console.out().find("renaming upload/")) << console.out();
    }
    EXPECT_EQ(std::vector<std::string>{taken.substr(7)}, server.files("upload"));
    EXPECT_EQ("an earlier document", server.readFile(taken));
    EXPECT_EQ(found, positions());

    // The server's disk is full: the refused write fails the attempt with its reason, the temporary
    // file is removed.
    _pRig->database().setParameter(16, std::string("full"));
    start(timings);
    {
        const ConsoleCapture console;
        EXPECT_FALSE(_pPusher->createAndSendFiles());
        EXPECT_NE(std::string::npos, console.out().find("writing the document failed")) << console.out();
    }
    EXPECT_TRUE(server.files("full").empty());
    EXPECT_EQ(found, positions());

    // The server stops reading and answering mid-document: the session time-out ends the attempt.
    _pRig->database().setParameter(16, std::string("upload"));
    start(timings);
    Poco::File(server.home() + "/" + taken).remove();
    std::thread freezer(
        [&]
        {
            while (server.files("upload").empty())
                Poco::Thread::sleep(1);
            server.signalSessions(SIGSTOP);
        });
    const ConsoleCapture quiet;
    const Poco::Timestamp started;
    _pPusher->createAndSendFiles();
    const Poco::Timespan took = Poco::Timestamp() - started;
    freezer.join();
    EXPECT_LT(took.totalMilliseconds(), 10000) << quiet.out();
    for (const std::string& name : server.files("upload"))
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

TEST_F(TrendLogPusherUpload, SftpUploadsOnlyToATrustedHostKeyAndLogsInWithPasswordOrKey)
{
    if (!SshServer::missing().empty())
        GTEST_SKIP() << SshServer::missing();
    const std::string password = "pw-7Kq2-never-shown";
    const SshServer server(password);
    const Poco::TemporaryFile knownHosts;
    const std::string known = server.knownHostsLine();
    // The same host and port with another key of the same type: a changed host key.
    const std::string otherKey = Orvik::Test::readFile(server.clientKeyFile() + ".pub");
    const std::string changed = known.substr(0, known.find(' ')) + " " + otherKey;
    struct Case
    {
        const char* what;
        std::string knownHosts;  // the file's content
        std::string pinned;
        bool trustNew;
        bool withKey;
        std::string password;
        const char* reason;     // empty: the upload succeeds
        std::string path = "";  // of the address; "": the folder "upload" given as the directory parameter
        bool userInAddress = false;
    };
    const Case cases[] = {
        {"known host, password", known, "", false, false, password, ""},
        {"known host, key; the address names the folder", known, "", false, true, "", "", "/~/upload"},
        {"wrong password", known, "", false, false, "wrong-" + password, "refused the login of"},
        {"unknown host", "", "", false, false, password, "which is not in"},
        {"changed host key", changed, "", false, false, password, "which differs from its key"},
        {"pinned fingerprint; the address names the folder's absolute path", "", server.fingerprint(), false,
         false, password, "", server.home() + "/upload"},
        {"other fingerprint pinned", known, "SHA256:" + std::string(43, 'A'), false, false, password,
         "not the pinned"},
        {"changed host key, new hosts trusted", changed, "", true, false, password, "which differs"},
        {"new host trusted and added; the address names the user", "", "", true, false, password, "", "",
         true}};
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        forgetGateway();  // each case a new gateway, whose upload has records to carry
        serveOnly(smallSite());
        Orvik::Test::writeFile(knownHosts.path(), c.knownHosts);
        DataSftpSettings settings;
        settings.knownHostsFile = knownHosts.path();
        settings.hostKeyFingerprint = c.pinned;
        settings.trustNewHosts = c.trustNew;
        settings.privateKeyFile = c.withKey ? server.clientKeyFile() : "";
        setSftp(settings);
        const std::string address =
            c.userInAddress ? "sftp://" + SshServer::_USER + "@127.0.0.1:" + std::to_string(server.port())
                            : server.url();
        _pRig->database().configure(address + c.path, c.userInAddress ? "" : SshServer::_USER, c.password,
                                    c.path.empty() ? "upload" : "", 1, 0);
        start();
        const Poco::Nullable<std::string> found = positions();
        const std::size_t before = server.files("upload").size();
        const ConsoleCapture console;
        const bool uploaded = _pPusher->createAndSendFiles();
        EXPECT_EQ(std::string::npos, console.out().find(password)) << console.out();
        if (*c.reason == '\0')
        {
            EXPECT_TRUE(uploaded) << console.out();
            EXPECT_EQ(before + 1, documents(server, "upload").size());
            EXPECT_NE(found, positions());
            if (c.trustNew)
            {
                EXPECT_NE(std::string::npos,
                          Orvik::Test::readFile(knownHosts.path()).find(known.substr(known.find(' ') + 1)));
            }
            continue;
        }
        EXPECT_FALSE(uploaded);
        EXPECT_EQ(before, server.files("upload").size());
        EXPECT_EQ(found, positions());
        expectFailureLine(
            console.out(),
            "AppTrendLogPusher(1): FTP upload exited with exception, server " + server.url() + ": ",
            c.reason);
        if (std::string(c.reason) != "refused the login of")
        {
            EXPECT_NE(std::string::npos, console.out().find("offered the host key " + server.fingerprint()));
        }
    }
}

TEST_F(TrendLogPusherCycle, RetriesFollowAFailedUploadAndFitIntoThePeriod)
{
    serve(smallSite());
    // period 15 minutes, 2 retries 5 minutes apart
    for (const auto& [number, text] : {std::pair<int, const char*>{8, "15"}, {10, "2"}, {11, "5"}})
        _pRig->database().setParameter(number, std::string(text));
    start();
    ftp().setFault(FtpFault::REFUSE_LOGIN);
    const Poco::Timestamp now;
    for (Poco::UInt32 expected : {1u, 2u, 0u})  // the scheduled attempt, two retries, then the schedule
    {
        _pPusher->runAttempt();
        EXPECT_EQ(expected, _pPusher->getSchedule().retries());
        EXPECT_EQ(expected != 0,
                  _pPusher->getSchedule().nextAttempt(now) == now + 5 * Poco::Timespan::MINUTES);
    }
    _pPusher->runAttempt();
    ftp().setFault(FtpFault::NONE);
    _pPusher->runAttempt();  // a success ends the retries
    EXPECT_EQ(0u, _pPusher->getSchedule().retries());
    EXPECT_EQ(1u, ftp().files().size());
}

TEST_F(TrendLogPusherCycle, TheWaitKeepsItsDueTimeWhenOtherNotificationsArrive)
{
    serve(smallSite());
    _pRig->database().setParameter(8, std::string("1"));  // period, minutes
    _pRig->database().setParameter(9, std::string("1"));  // offset, seconds
    // The clock reads half a second before a minute boundary, then 0.2 s and 1 s after it: the attempt
    // is due at the offset point just after the boundary, although a sanity request comes in between.
    const Poco::Timestamp::TimeVal minute = 60 * Poco::Timespan::SECONDS;
    const Poco::Timestamp boundary((Poco::Timestamp().epochMicroseconds() / minute + 1) * minute);
    const std::vector<Poco::Timestamp> readings{boundary - 500000, boundary + 200000, boundary + 1000000};
    std::size_t read = 0;
    auto timings = TrendLogPusherRig::quickTimings();
    timings.now = [&] { return readings[std::min(read++, readings.size() - 1)]; };
    start(timings);
    read = 0;
    post(*_pPusher, Notification::SANITY_REQUEST);
    post(*_pPusher, Notification::STOP_RUNNING);
    EXPECT_TRUE(_pPusher->waitForNextAttempt())
        << "a due time computed anew after the request lies a period on";
    EXPECT_EQ(read, readings.size());
}

TEST_F(TrendLogPusherCycle, StopRequestEndsAnUploadAndALongWaitAtOnce)
{
    serve(smallSite());
    _pRig->database().setParameter(8, std::string("4294967295"));  // about 8000 years
    start();

    // Stopped while reading records: the document is dropped, nothing is stored, and the stop request
    // stays for the cycle, which ends.
    const Poco::Nullable<std::string> found = positions();
    post(*_pPusher, Notification::STOP_RUNNING);
    EXPECT_TRUE(_pPusher->createAndSendFiles());
    EXPECT_TRUE(ftp().files().empty());
    EXPECT_EQ(found, positions());
    EXPECT_FALSE(_pPusher->waitForNextAttempt());

    // A wait of thousands of years is waited (in parts) until the stop request comes.
    std::thread stopper(
        [this]
        {
            Poco::Thread::sleep(300);
            post(*_pPusher, Notification::STOP_RUNNING);
        });
    EXPECT_FALSE(_pPusher->waitForNextAttempt());
    stopper.join();
    EXPECT_TRUE(ftp().files().empty());
}

TEST_F(TrendLogPusherCycle, DocumentAnswersSanityRequestsBetweenPagesAndKeepsOtherNotifications)
{
    // A document longer than the supervisor's period must not get the gateway restarted: the request
    // waiting when the upload starts is answered before it ends, the other notification stays.
    serve(smallSite());
    start();
    Poco::NotificationQueue answers;
    _pPusher->getReadQueue()->enqueueNotification(
        new Notification(Notification::SANITY_REQUEST, Notification::SANITY_RESPONSE, &answers));
    post(*_pPusher, Notification::BROADCAST);
    ASSERT_TRUE(_pPusher->createAndSendFiles());
    EXPECT_EQ(1u, ftp().files().size());
    EXPECT_EQ(1, answers.size());
    bool kept = false;
    while (Poco::AutoPtr<Poco::Notification> pNf = _pPusher->getReadQueue()->dequeueNotification())
    {
        const auto* pHostNf = dynamic_cast<const Notification*>(pNf.get());
        kept = kept || (pHostNf != nullptr && pHostNf->getAction() == Notification::BROADCAST);
    }
    EXPECT_TRUE(kept);
}

TEST_F(TrendLogPusherPositions, ClockChangesAndWrappedBuffersLoseAndRepeatNoRecord)
{
    struct Row
    {
        const char* name;
        const char* timeZone;
        const char* start;         // record 1, UTC
        int interval;              // seconds
        std::vector<int> counts;   // records logged at each upload
        int bufferSize;            // 0: every record is kept
        Poco::UInt64 clockStepAt;  // 0: the device clock runs true
        int clockStepSeconds;
    };
    const Row rows[] = {
        // Summer time ends at 01:00 UTC: local 02:00 to 03:00 comes twice; uploads in and after it.
        {"fall-back", "Europe/Berlin", "2025-10-26T00:00:00Z", 300, {12, 18, 30}, 0, 0, 0},
        // Summer time starts at 01:00 UTC: local 02:00 to 03:00 never comes.
        {"spring-forward", "Europe/Berlin", "2026-03-29T00:00:00Z", 300, {12, 18, 30}, 0, 0, 0},
        // A time sync sets the device clock back 30 minutes before record 21.
        {"device clock set back", "UTC0", "2026-01-10T10:00:00Z", 60, {20, 40, 60}, 0, 21, -1800},
        // The buffer of 20 records wraps between uploads: what it still holds follows, and the 20 records
        // overwritten in between are reported.
        {"wrapped between uploads", "UTC0", "2026-01-10T10:00:00Z", 60, {20, 60}, 20, 0, 0},
        // The buffer of 30 records wrapped before the first upload (record 1 is gone), then again.
        {"wrapped before the first upload", "UTC0", "2026-01-10T10:00:00Z", 60, {50, 70, 120}, 30, 0, 0}};
    // A device with a wrapped buffer answers the read of a record it lost with nothing or from its oldest.
    const auto overwrittenReads = [](const Row& row)
    {
        return row.bufferSize == 0 ? std::vector<std::string>{"nothing"}
                                   : std::vector<std::string>{"nothing", "oldest"};
    };
    for (const Row& row : rows)
        for (const std::string& overwrittenRead : overwrittenReads(row))
        {
            SCOPED_TRACE(std::string(row.name) + ", a lost record read: " + overwrittenRead);
            const ScopedTimeZone zone(row.timeZone);
            forgetGateway();
            const std::size_t before = ftp().files().size();
            std::set<Poco::UInt64> held;  // sequence numbers held at some upload
            std::map<std::string, int> expected;
            for (int count : row.counts)
            {
                serve(gatewaySite(row.start, row.interval, count, row.bufferSize, overwrittenRead));
                const auto tl = site().trendLogs().front();
                if (row.clockStepAt != 0)
                    _pRig->site().setClockStep(tl.key, row.clockStepAt,
                                               Poco::Timespan(row.clockStepSeconds, 0));
                ASSERT_TRUE(start().createAndSendFiles());
                const Poco::UInt64 first = _pRig->site().getFirstSequenceNumber(tl.key);
                // The records lost since the last upload are reported once, with their number.
                const Poco::UInt64 lost = held.empty() ? 0 : first - std::min(first, *held.rbegin() + 1);
                const std::string report = lost == 0
                                               ? "records were overwritten"
                                               : ": " + std::to_string(lost) + " records were overwritten";
                EXPECT_EQ(lost != 0, _pRig->out().find(report) != std::string::npos) << _pRig->out();
                for (Poco::UInt64 sequenceNumber = first;
                     sequenceNumber <= _pRig->site().getLastSequenceNumber(tl.key); ++sequenceNumber)
                {
                    // Two records may read the same (a time that repeats, a value that repeats): count them.
                    const int newlyHeld = held.insert(sequenceNumber).second ? 1 : 0;
                    for (const std::string& record : site().records(tl, sequenceNumber))
                        expected[record] += newlyHeld;
                }
            }
            std::map<std::string, int> uploaded;
            const std::vector<std::string> files = ftp().files();
            for (std::size_t i = before; i < files.size(); ++i)
            {
                for (const std::string& record : TrendLogPusherDocument(ftp().readFile(files[i]))
                                                     .records(site().trendLogs().front().channelIdentifier))
                    ++uploaded[record];
            }
            EXPECT_EQ(expected, uploaded);
        }
}

TEST_F(TrendLogPusherPositions, DeviceZeroEpochRecordsAndProprietaryValuesAreUploaded)
{
    // Device 0, whose clock was never set (records up to and before the epoch), logs an object with the
    // proprietary unit and reliability 65535, and an accumulator whose maximum is 4294967295.
    serve(R"({"devices": [{"instance": 1001}, {"instance": 0, "objects": [
   {"type": "analog-input", "instance": 1, "units": 65535, "properties": {"reliability": 65535}},
   {"type": "accumulator", "instance": 1},
   {"type": "trend-log", "instance": 1, "logs": "analog-input:1",
    "log": {"start": "1969-12-31T23:58:00Z", "intervalSeconds": 60, "count": 5}},
   {"type": "trend-log", "instance": 2, "logs": "accumulator:1",
    "log": {"start": "1970-01-01T00:00:00Z", "intervalSeconds": 60, "count": 1}}]}]})",
          2);
    ASSERT_TRUE(start().createAndSendFiles());
    const std::vector<TrendLogPusherDocument> uploaded = documents(ftp());
    ASSERT_EQ(1u, uploaded.size());
    const auto& loggers = uploaded[0].root().child("devices").child("0").child("loggers");
    const auto& odd = loggers.child("1").child("channels").child("1");
    EXPECT_EQ("65535", odd.child("units").value);
    EXPECT_EQ("65535", odd.child("reliability").value);
    EXPECT_EQ("4294967295", loggers.child("2").child("channels").child("1").child("max-pres-value").value);
    Next next;
    expectRecords(uploaded[0], next);
    for (const auto& tl : site().trendLogs())
        EXPECT_EQ(_pRig->site().getLastSequenceNumber(tl.key) + 1, next[tl.channelIdentifier]);
}
