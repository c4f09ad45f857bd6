// The trend log pusher against a simulated BACnet site and a real FTP server on loopback: documents
// read back with XML and JSON parsers and compared record by record with the site.

#include <gtest/gtest.h>

#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/RegularExpression.h>
#include <Poco/StreamCopier.h>
#include <Poco/String.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "ConsoleCapture.h"
#include "FtpServer.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "TlsCertificates.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

using Orvik::Test::TrendLogPusherRig;

using Orvik::Test::FtpFault;
using Orvik::Test::FtpServer;

namespace
{

std::string siteFile(const std::string& name)
{
    Poco::FileInputStream in(std::string(ORVIK_SOURCE_DIR) + "/sites/" + name);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

/// Two trend logs on the gateway itself: 300 records (five pages) and 20 records.
const std::string SMALL_SITE =
    R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701,
  "vendorName": "Orvik", "modelName": "GW", "objects": [
  {"type": "analog-value", "instance": 1, "name": "T1", "units": "degrees-celsius", "presentValue": 20.0},
  {"type": "binary-value", "instance": 2, "name": "B2", "presentValue": "inactive"},
  {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
   "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 60, "count": 300}},
  {"type": "trend-log", "instance": 2, "name": "B2 Log", "logs": "binary-value:2",
   "log": {"start": "2026-01-01T00:00:00Z", "intervalSeconds": 600, "count": 20}}]}]})";

/// The first line the gateway address script prints, line end included, as the document carries it.
std::string gatewayAddressLine()
{
    const std::string command = std::string(ORVIK_SOURCE_DIR) + "/scripts/general/orvik_get_ip.sh";
    char line[256] = "";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe != nullptr)
    {
        if (std::fgets(line, 255, pipe) == nullptr)
        {
            line[0] = '\0';
        }
        ::pclose(pipe);
    }
    return line;
}

/// The one file in `folder` with a final export name; fails the test when there is not exactly one.
std::vector<std::string> exportFiles(const FtpServer& ftp, const std::string& folder)
{
    static const Poco::RegularExpression finalName("^tl_TST_\\d{6}_\\d{9}\\.xml$");
    std::vector<std::string> names;
    for (const std::string& name : ftp.files(folder))
    {
        EXPECT_TRUE(finalName.match(name)) << "unexpected file " << name;
        names.push_back(folder.empty() ? name : folder + "/" + name);
    }
    return names;
}

/// Checks every trend log of the site against `document` from the sequence numbers in `next` on, and
/// moves `next` past the records found.
void expectRecords(const TrendLogPusherSiteRecords& site, const TrendLogPusherDocument& document,
                   std::map<std::string, Poco::UInt64>& next)
{
    for (const auto& tl : site.trendLogs())
    {
        std::string mismatch;
        Poco::UInt64& first = next.emplace(tl.channelIdentifier, 1).first->second;
        first = site.compare(tl, document, document.records(tl.channelIdentifier), first, mismatch);
        EXPECT_EQ("", mismatch) << "trend log " << tl.key.objectIdentifier.toString() << " of device "
                                << tl.key.deviceInstance;
    }
}

std::size_t openDescriptorCount()
{
    std::vector<std::string> descriptors;
    Poco::File("/proc/self/fd").list(descriptors);
    return descriptors.size();
}

class TrendLogPusherUpload : public ::testing::Test
{
protected:
    Poco::TemporaryFile _databaseFile;
};

}  // namespace

TEST_F(TrendLogPusherUpload, UploadsEveryRecordOnceInXmlThenInJsonAfterARestart)
{
    FtpServer ftp;
    TrendLogPusherRig rig(_databaseFile.path(), siteFile("test-trendlogs.json"), 1001);
    rig.database().configure(ftp.url(), "orvik", "secret", "upload", 2, 0);
    TrendLogPusherSiteRecords site(rig.site());
    ASSERT_EQ(5u, site.trendLogs().size());

    auto pPusher = rig.newPusher();
    pPusher->initialise();
    ASSERT_TRUE(pPusher->createAndSendFiles());
    std::vector<std::string> files = exportFiles(ftp, "upload");
    ASSERT_EQ(1u, files.size());
    const TrendLogPusherDocument xml(ftp.readFile(files[0]));
    const auto& root = xml.root();
    EXPECT_EQ("bacnet-2-cloud-trend-log", root.name);
    EXPECT_EQ("150928A", root.child("app-version").value);
    EXPECT_EQ("zumbra", root.child("zumbra-user").value);
    EXPECT_EQ("site-7", root.child("site-identifier").value);
    EXPECT_EQ("Test Site", root.child("site-name").value);
    EXPECT_EQ("17", root.child("parent-identifier").value);
    const std::string address = gatewayAddressLine();
    EXPECT_EQ(!address.empty(), root.hasChild("ip-address"));
    if (!address.empty())
    {
        EXPECT_EQ(address, root.child("ip-address").value);
    }
    EXPECT_TRUE(root.child("app-device").hasChild("1001"));
    std::vector<std::string> devices;
    for (const auto& device : root.child("devices").children)
    {
        devices.push_back(device.name);
    }
    EXPECT_EQ((std::vector<std::string>{"1001", "2001", "3001"}), devices);  // 4001 has no trend log
    std::map<std::string, Poco::UInt64> next;
    expectRecords(site, xml, next);
    EXPECT_EQ(10001u, next[site.trendLogs().back().channelIdentifier]);  // the meter's 10000 records

    // The gateway stops; its successor, now writing JSON, starts after the last uploaded record.
    pPusher.reset();
    rig.database().setParameter(6, std::string("1"));
    Poco::Thread::sleep(1500);  // the gateway's own trend log logs every second
    pPusher = rig.newPusher();
    pPusher->initialise();
    ASSERT_TRUE(pPusher->createAndSendFiles());
    files = exportFiles(ftp, "upload");
    ASSERT_EQ(2u, files.size());
    const TrendLogPusherDocument json(ftp.readFile(files[1]));  // names sort by upload time
    const auto live = site.trendLogs().front();
    const Poco::UInt64 firstNew = next[live.channelIdentifier];
    EXPECT_FALSE(json.records(live.channelIdentifier).empty());
    expectRecords(site, json, next);
    EXPECT_GT(next[live.channelIdentifier], firstNew);
    for (const auto& tl : site.trendLogs())
    {
        if (tl.key.deviceInstance != 1001)
        {
            EXPECT_TRUE(json.records(tl.channelIdentifier).empty())
                << "records of " << tl.key.objectIdentifier.toString() << " of device "
                << tl.key.deviceInstance
                << " sent twice, first: " << json.records(tl.channelIdentifier).front();
        }
    }
}

TEST_F(TrendLogPusherUpload, FailuresLeaveNoDocumentAndTheNextDocumentCarriesTheirRecords)
{
    FtpServer ftp;
    TrendLogPusherRig rig(_databaseFile.path(), SMALL_SITE, 1001);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 1, 0);
    TrendLogPusherSiteRecords site(rig.site());
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    const Poco::Nullable<std::string> foundPositions = rig.database().storedParameter(43);
    ASSERT_FALSE(foundPositions.isNull());  // the search stored the new trend logs at time 0

    // Each failed attempt: one line with the instance, the server and the server's full reply.
    const std::string failure =
        "AppTrendLogPusher(1): FTP upload exited with exception, server " + ftp.url() + ": ";
    const std::pair<FtpFault, std::string> refusals[] = {
        {FtpFault::REFUSE_LOGIN, "530 Authentication failed."},
        {FtpFault::REFUSE_STORE, "550 Not enough storage."},
        {FtpFault::REFUSE_COMPLETION, "451 Requested action"},
        {FtpFault::REFUSE_RENAME, "550 Rename refused."}};
    for (const auto& [fault, reply] : refusals)
    {
        ftp.setFault(fault);
        const Orvik::Test::ConsoleCapture console;
        EXPECT_FALSE(pPusher->createAndSendFiles());
        const std::string line = console.out();
        EXPECT_EQ(0u, line.find(failure)) << line;
        EXPECT_NE(std::string::npos, line.find(reply, failure.size())) << line;
        EXPECT_EQ(line.size() - 1, line.find('\n')) << line;
    }
    const Orvik::Test::ConsoleCapture quiet;
    ftp.setFault(FtpFault::DROP_DATA, 3000);
    pPusher->createAndSendFiles();  // fails while writing (true) or at the completion (false)
    ftp.setFault(FtpFault::NONE);
    Orvik::BACnet::Client::Simulation::SimulatedFault secondPage;
    secondPage.service = Orvik::BACnet::Client::Simulation::SimulatedFault::READ_RANGE;
    secondPage.error =
        Orvik::BACnet::DataError(Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_OTHER);
    secondPage.skip = 1;
    secondPage.count = 1;
    rig.site().addFault(1001, secondPage);
    EXPECT_TRUE(pPusher->createAndSendFiles());  // the document failed, the attempt ran to its end

    EXPECT_TRUE(ftp.files().empty()) << "a failed document was left on the server";
    EXPECT_EQ(foundPositions, rig.database().storedParameter(43)) << "positions advanced without a document";

    ASSERT_TRUE(pPusher->createAndSendFiles());
    const std::vector<std::string> files = exportFiles(ftp, "");
    ASSERT_EQ(1u, files.size());
    const TrendLogPusherDocument document(ftp.readFile(files[0]));
    std::map<std::string, Poco::UInt64> next;
    expectRecords(site, document, next);
    EXPECT_EQ(301u, next[site.trendLogs()[0].channelIdentifier]);
    EXPECT_EQ(21u, next[site.trendLogs()[1].channelIdentifier]);
    EXPECT_NE(foundPositions, rig.database().storedParameter(43));
}

TEST_F(TrendLogPusherUpload, ADeviceWhoseSearchFailsHidesNoOtherDevice)
{
    TrendLogPusherRig rig(_databaseFile.path(), siteFile("test-trendlogs.json"), 1001);
    rig.database().configure("ftp://127.0.0.1:1/", "orvik", "secret", "upload", 2, 0);
    Orvik::BACnet::Client::Simulation::SimulatedFault objectList;
    objectList.service = Orvik::BACnet::Client::Simulation::SimulatedFault::READ_PROPERTY;
    objectList.property = Orvik::BACnet::PROP_OBJECT_LIST;
    objectList.error =
        Orvik::BACnet::DataError(Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_DEVICE_BUSY);
    rig.site().addFault(2001, objectList);
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    std::vector<Poco::UInt32> devices;
    for (const auto& device : pPusher->getDevices())
        devices.push_back(device.deviceInstance);
    EXPECT_EQ((std::vector<Poco::UInt32>{1001, 3001}), devices);
}

TEST_F(TrendLogPusherUpload, RefusedSessionsLeaveNoConnectionOpen)
{
    FtpServer ftp;
    TrendLogPusherRig rig(_databaseFile.path(), SMALL_SITE, 1001);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 1, 0);
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    ftp.setFault(FtpFault::REFUSE_SESSION);
    const Orvik::Test::ConsoleCapture console;
    EXPECT_FALSE(pPusher->createAndSendFiles());  // first use opens what stays open anyway
    const std::size_t openBefore = openDescriptorCount();
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        EXPECT_FALSE(pPusher->createAndSendFiles());
    }
    EXPECT_EQ(openBefore, openDescriptorCount());
    EXPECT_NE(std::string::npos, console.out().find("FTP upload exited with exception"));
}

TEST_F(TrendLogPusherUpload, ServerThatStopsReadingTheDocumentEndsTheAttemptInsteadOfBlockingIt)
{
    FtpServer ftp("", "");  // no login: no QUIT that the server would hold back during the transfer
    // 100000 records: a document larger than all socket buffers between the gateway and the server.
    const std::string site =
        Poco::replace(SMALL_SITE, std::string("\"count\": 300"), std::string("\"count\": 100000"));
    TrendLogPusherRig rig(_databaseFile.path(), site, 1001);
    rig.database().configure(ftp.url(), "", "", "", 1, 0);
    auto timings = TrendLogPusherRig::quickTimings();
    timings.ftpSessionTimeoutMs = 1000;  // each of the session's waits on the stalled server
    auto pPusher = rig.newPusher(timings);
    pPusher->initialise();
    const Poco::Nullable<std::string> positions = rig.database().storedParameter(43);
    ftp.setFault(FtpFault::STALL_DATA, 10000);
    const Orvik::Test::ConsoleCapture quiet;
    pPusher->createAndSendFiles();  // returns once the session's time-outs expire
    for (const std::string& name : ftp.files())
    {
        EXPECT_NE(".xml", name.substr(name.size() - 4)) << "a stalled document got its final name";
    }
    EXPECT_EQ(positions, rig.database().storedParameter(43));
}

TEST_F(TrendLogPusherUpload, SessionWithoutLoginAndVsftpdUploadIntoADirectory)
{
    {
        FtpServer ftp("", "");
        TrendLogPusherRig rig(_databaseFile.path(), SMALL_SITE, 1001);
        rig.database().configure("127.0.0.1:" + std::to_string(ftp.port()), "", "", "", 1, 1);
        auto pPusher = rig.newPusher();
        pPusher->initialise();
        ASSERT_TRUE(pPusher->createAndSendFiles());
        ASSERT_EQ(1u, exportFiles(ftp, "").size());
        for (const std::string& command : ftp.commands())
        {
            EXPECT_NE(0u, command.rfind("USER", 0));
            EXPECT_NE(0u, command.rfind("PASS", 0));
        }
        EXPECT_FALSE(TrendLogPusherDocument(ftp.readFile(exportFiles(ftp, "")[0])).pages().empty());
    }
    if (!FtpServer::vsftpdAvailable())
    {
        GTEST_SKIP() << "vsftpd needs root and /usr/sbin/vsftpd";
    }
    Poco::TemporaryFile otherDatabase;
    FtpServer vsftpd("anonymous", "", FtpServer::Engine::VSFTPD);
    TrendLogPusherRig rig(otherDatabase.path(), SMALL_SITE, 1001);
    rig.database().configure(vsftpd.url(), "anonymous", "gateway@", "upload", 1, 0);
    TrendLogPusherSiteRecords site(rig.site());
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    ASSERT_TRUE(pPusher->createAndSendFiles());
    const std::vector<std::string> files = exportFiles(vsftpd, "upload");
    ASSERT_EQ(1u, files.size());
    std::map<std::string, Poco::UInt64> next;
    expectRecords(site, TrendLogPusherDocument(vsftpd.readFile(files[0])), next);
    EXPECT_EQ(301u, next[site.trendLogs()[0].channelIdentifier]);
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
    TrendLogPusherRig rig(
        _databaseFile.path(),
        Poco::replace(SMALL_SITE, std::string("\"count\": 300"), std::string("\"count\": 100000")), 1001);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.what);
        FtpServer ftp("orvik", "secret", FtpServer::Engine::PYFTPDLIB, &c.server);
        rig.database().configure(ftp.url(), "orvik", "secret", "upload", 1, 0);
        DocumentUpload::setTrustedCertificates(c.trusted);
        auto pPusher = rig.newPusher();
        pPusher->initialise();
        const Poco::Nullable<std::string> positions = rig.database().storedParameter(43);
        const Orvik::Test::ConsoleCapture console;
        const bool uploaded = pPusher->createAndSendFiles();
        const std::string output = console.out();
        if (*c.reason == '\0')
        {
            EXPECT_TRUE(uploaded) << output;
            const std::vector<std::string> files = exportFiles(ftp, "upload");
            ASSERT_EQ(1u, files.size());
            const std::string document = ftp.readFile(files[0]);
            EXPECT_NO_THROW(TrendLogPusherDocument{document}) << "the document's end is missing";
            EXPECT_NE(positions, rig.database().storedParameter(43));
            const std::vector<std::string> commands = ftp.commands();
            EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "PROT P"));
            continue;
        }
        EXPECT_FALSE(uploaded);
        EXPECT_TRUE(ftp.files("upload").empty());
        EXPECT_EQ(positions, rig.database().storedParameter(43));
        EXPECT_EQ(0u, output.find("AppTrendLogPusher(1): FTP upload exited with exception, server ftps://"))
            << output;
        EXPECT_NE(std::string::npos, output.find(c.reason)) << output;
        EXPECT_EQ(output.size() - 1, output.find('\n')) << output;
        for (const std::string& command : ftp.commands())
        {
            EXPECT_NE(0u, command.rfind("USER", 0)) << "login sent to an untrusted server";
        }
    }
    DocumentUpload::setTrustedCertificates(trustedBefore);
}
