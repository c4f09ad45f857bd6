// No record is lost: the trend log pusher runs many upload attempts against live trend logs while
// faults are injected at random (FTP server, devices, and the gateway process killed mid-upload).
// In the end every record of every trend log is in some completely uploaded document.

#include <gtest/gtest.h>

#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/FileStream.h>
#include <Poco/Process.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>

#include <map>
#include <optional>
#include <random>
#include <set>

#include "BACnetClient/InteropNetwork.h"
#include "BACnetDeviceSimulator.h"
#include "ConsoleCapture.h"
#include "FtpServer.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

using Orvik::Test::TrendLogPusherRig;

using Orvik::BACnet::Client::Simulation::SimulatedFault;
using Orvik::Test::FtpFault;
using Orvik::Test::FtpServer;

namespace
{

const Poco::UInt32 GATEWAY = 1001;
const Poco::UInt32 CONTROLLER = 2001;

/// Live trend logs that started a minute ago: the gateway logs every 50 ms, the controller every 200 ms
/// (a trend log and, with `multiple`, a trend log multiple).
std::string liveSite(bool multiple = true)
{
    const std::string start = Poco::DateTimeFormatter::format(
        Poco::Timestamp() - 60 * Poco::Timespan::SECONDS, "%Y-%m-%dT%H:%M:%SZ");
    return R"({"tickMs": 100, "devices": [
  {"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik", "modelName": "GW",
   "objects": [{"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
     {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
      "log": {"start": ")" +
           start + R"(", "intervalSeconds": 0.05, "count": 10, "bufferSize": 1000000, "live": true}}]},
  {"instance": 2001, "name": "Controller", "vendorIdentifier": 7, "vendorName": "Sim", "modelName": "PC",
   "objects": [{"type": "analog-input", "instance": 1, "name": "Flow", "presentValue": 55.0},
     {"type": "analog-input", "instance": 2, "name": "Return", "presentValue": 40.0},
     {"type": "trend-log", "instance": 1, "name": "Flow Log", "logs": "analog-input:1",
      "log": {"start": ")" +
           start + R"(", "intervalSeconds": 0.2, "count": 10, "bufferSize": 1000000, "live": true}})" +
           (multiple ? "," : "]}]}") +
           (multiple
                ? R"(
     {"type": "trend-log-multiple", "instance": 1, "name": "Both", "logs": ["analog-input:1", "analog-input:2"],
      "log": {"start": ")" +
                      start +
                      R"(", "intervalSeconds": 0.2, "count": 10, "bufferSize": 1000000, "live": true}}]}]})"
                : "");
}

/// One upload attempt in this process, under a fault chosen by `draw`.
void attemptUnderRandomFault(
    std::mt19937& random, FtpServer& ftp, TrendLogPusherRig& rig,
    std::unique_ptr<Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher>& pPusher,
    const TrendLogPusherSiteRecords& site)
{
    ftp.setFault(FtpFault::NONE);
    switch (std::uniform_int_distribution<int>(0, 8)(random))
    {
        case 1:
            ftp.setFault(FtpFault::REFUSE_LOGIN);
            break;
        case 2:
            ftp.setFault(FtpFault::DROP_DATA, std::uniform_int_distribution<std::size_t>(100, 40000)(random));
            break;
        case 3:
            ftp.setFault(FtpFault::REFUSE_COMPLETION);
            break;
        case 4:
            ftp.setFault(FtpFault::REFUSE_RENAME);
            break;
        case 5:
        {
            const auto& tl = site.trendLogs()[std::uniform_int_distribution<std::size_t>(0, 2)(random)];
            SimulatedFault page;
            page.service = SimulatedFault::READ_RANGE;
            page.object = tl.key.objectIdentifier;
            page.error =
                Orvik::BACnet::DataError(Orvik::BACnet::ERROR_CLASS_DEVICE, Orvik::BACnet::ERROR_CODE_OTHER);
            page.skip = std::uniform_int_distribution<Poco::UInt32>(0, 3)(random);
            page.count = 1;
            rig.site().addFault(tl.key.deviceInstance, page);
            break;
        }
        case 6:
            rig.site().setSilent(CONTROLLER, true);
            break;
        case 7:
            // The gateway restarts: a new pusher from the stored positions, with a fresh search.
            pPusher = rig.newPusher();
            pPusher->initialise();
            break;
        default:
            break;
    }
    pPusher->createAndSendFiles();
    rig.site().setSilent(CONTROLLER, false);
    rig.site().clearFaults(GATEWAY);
    rig.site().clearFaults(CONTROLLER);
}

/// Starts the pusher driver process (through the emulator in a cross build).
Poco::ProcessHandle launchDriver(const std::vector<std::string>& arguments)
{
    const Poco::StringTokenizer words(ORVIK_PUSHER_DRIVER_COMMAND, "|",
                                      Poco::StringTokenizer::TOK_IGNORE_EMPTY);
    std::vector<std::string> all(words.begin() + 1, words.end());
    all.insert(all.end(), arguments.begin(), arguments.end());
    return Poco::Process::launch(words[0], all);
}

/// Starts the pusher as a process of its own and kills it once an upload of it has begun (or after a
/// while), under an FTP fault chosen by `random`. Returns true when it was killed during an upload.
bool killDuringUpload(std::mt19937& random, FtpServer& ftp, const std::string& database,
                      const std::string& siteFile)
{
    const int fault = std::uniform_int_distribution<int>(0, 3)(random);
    ftp.setFault(fault == 1   ? FtpFault::REFUSE_COMPLETION
                 : fault == 2 ? FtpFault::DROP_DATA
                              : FtpFault::NONE,
                 20000);
    const std::vector<std::string> before = ftp.files();
    const std::set<std::string> known(before.begin(), before.end());
    Poco::ProcessHandle driver = launchDriver({database, siteFile, std::to_string(GATEWAY), "0"});
    bool uploading = false;
    for (int poll = 0; poll < 3000 && !uploading; ++poll)
    {
        Poco::Thread::sleep(1);
        for (const std::string& name : ftp.files())
        {
            uploading = uploading || (known.count(name) == 0 && name.size() > 5 &&
                                      name.compare(name.size() - 5, 5, ".part") == 0);
        }
    }
    Poco::Thread::sleep(std::uniform_int_distribution<int>(0, 3)(random));
    Poco::Process::kill(driver);
    driver.wait();
    return uploading;
}

/// The uploaded records of every channel in the complete documents (channel -> record -> documents
/// that hold it); counts the documents, the partial uploads left under the temporary name, and the
/// records uploaded twice.
struct Uploads
{
    std::map<std::string, std::map<std::string, int>> records;
    std::size_t documents = 0;
    std::size_t partial = 0;
    std::size_t duplicates = 0;

    Uploads(const FtpServer& ftp, const TrendLogPusherSiteRecords& site)
    {
        for (const std::string& name : ftp.files())
        {
            if (name.size() > 5 && name.compare(name.size() - 5, 5, ".part") == 0)
            {
                ++partial;
                continue;
            }
            const TrendLogPusherDocument document(ftp.readFile(name));  // throws for an incomplete one
            for (const auto& tl : site.trendLogs())
            {
                for (const std::string& record : document.records(tl.channelIdentifier))
                {
                    duplicates += ++records[tl.channelIdentifier][record] > 1 ? 1 : 0;
                }
            }
            ++documents;
        }
    }
};

/// No gap: every record of every trend log of `reference`, up to the last one uploaded, is in some
/// document, and after a minute of logging that is more than a minute's worth.
void expectNoGap(const Uploads& uploads, const TrendLogPusherSiteRecords& site,
                 const Orvik::BACnet::Client::Simulation::SimulatedSite& reference)
{
    const TrendLogPusherDocument probe("<Sequence name=\"probe\"/>");  // writes records as XML
    for (const auto& tl : site.trendLogs())
    {
        const auto it = uploads.records.find(tl.channelIdentifier);
        ASSERT_NE(it, uploads.records.end()) << "nothing of " << tl.channelIdentifier << " was uploaded";
        const auto& uploaded = it->second;
        std::size_t found = 0;
        Poco::UInt64 sequenceNumber = 1;
        for (; found < uploaded.size() && sequenceNumber <= reference.getLastSequenceNumber(tl.key);
             ++sequenceNumber)
        {
            for (const auto& record : reference.getLogRecords(tl.key, sequenceNumber))
            {
                ASSERT_EQ(1u, uploaded.count(probe.canonicalRecord(record)))
                    << "record " << sequenceNumber << " of " << tl.key.objectIdentifier.toString()
                    << " of device " << tl.key.deviceInstance << " was never uploaded";
                ++found;
            }
        }
        EXPECT_EQ(uploaded.size(), found) << "documents hold records the site never logged";
        EXPECT_GT(sequenceNumber, tl.key.deviceInstance == GATEWAY ? 1200u : 300u);  // a minute of logging
    }
}

/// The live site, its FTP server and a gateway on a database file that a pusher process can share.
class TrendLogPusherNoRecordLost : public testing::Test
{
protected:
    TrendLogPusherNoRecordLost()
    {
        Poco::FileOutputStream out(_siteFile.path());
        out << _siteText;
        _rig.database().configure(_ftp.url(), "orvik", "secret", "", 2, 0);
    }

    /// The gateway runs once more without faults and catches up; then the documents are read.
    Uploads catchUp()
    {
        _ftp.setFault(FtpFault::NONE);
        auto pPusher = _rig.newPusher();
        pPusher->initialise();
        EXPECT_TRUE(pPusher->createAndSendFiles());
        _console.reset();
        return Uploads(_ftp, _site);
    }

    std::optional<Orvik::Test::ConsoleCapture> _console{std::in_place};  ///< until the catch-up's end
    const unsigned _seed = std::random_device()();
    std::mt19937 _random{_seed};
    FtpServer _ftp;
    Poco::TemporaryFile _database;
    Poco::TemporaryFile _siteFile;
    const std::string _siteText = liveSite();
    TrendLogPusherRig _rig{_database.path(), _siteText, GATEWAY};
    const TrendLogPusherSiteRecords _site{_rig.site()};
};

}  // namespace

TEST_F(TrendLogPusherNoRecordLost, RandomFaultsLoseNoRecordAndRepeatNone)
{
    SCOPED_TRACE("random seed " + std::to_string(_seed));
    ASSERT_EQ(3u, _site.trendLogs().size());
    auto pPusher = _rig.newPusher();
    pPusher->initialise();
    for (int attempt = 0; attempt < 50; ++attempt)
    {
        attemptUnderRandomFault(_random, _ftp, _rig, pPusher, _site);
    }
    const Uploads uploads = catchUp();
    EXPECT_EQ(0u, uploads.duplicates) << "a document repeated records without a killed gateway";
    expectNoGap(uploads, _site, _rig.site());
    std::cout << "no-record-lost: " << uploads.documents << " documents under random faults (seed " << _seed
              << ")" << std::endl;
}

TEST_F(TrendLogPusherNoRecordLost, GatewaysKilledDuringAnUploadLoseNoRecord)
{
    SCOPED_TRACE("random seed " + std::to_string(_seed));
    int killedDuringUpload = 0;
    for (int round = 0; round < 12; ++round)
    {
        killedDuringUpload += killDuringUpload(_random, _ftp, _database.path(), _siteFile.path()) ? 1 : 0;
    }
    const Uploads uploads = catchUp();
    EXPECT_GT(killedDuringUpload, 0) << "no kill hit an upload";
    expectNoGap(uploads, _site, _rig.site());
    std::cout << "no-record-lost: " << uploads.documents << " documents, " << uploads.partial
              << " partial uploads left under a temporary name, " << killedDuringUpload
              << " gateways killed during an upload, " << uploads.duplicates
              << " records uploaded twice (seed " << _seed << ")" << std::endl;
}

TEST(TrendLogPusherNoRecordLostOverBACnetIP, DatagramsLostOnTheWayToTheDevicesLoseNoRecord)
{
    if (!Orvik::Test::BACnetDeviceSimulator::missing().empty())
        GTEST_SKIP() << Orvik::Test::BACnetDeviceSimulator::missing();
    FtpServer ftp;
    Poco::TemporaryFile database;
    const std::string siteText = liveSite(false);
    Orvik::Test::BACnetDeviceSimulator simulator(siteText, Orvik::Test::BACnetDeviceSimulator::Site::TEXT);
    const auto pReference = Orvik::BACnet::Client::Simulation::SimulatedSite::parse(siteText, "reference");
    TrendLogPusherRig rig(database.path(), Orvik::Test::InteropNetwork::make(simulator), GATEWAY);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 2, 0);
    const TrendLogPusherSiteRecords site(*pReference);
    ASSERT_EQ(2u, site.trendLogs().size());

    std::optional<Orvik::Test::ConsoleCapture> console{std::in_place};
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    // A quarter of what reaches the devices is lost: requests are retried, and an attempt whose request
    // ran out of retries leaves no document.
    simulator.command("drop * 0.25");
    std::size_t incomplete = 0;
    for (int attempt = 0; attempt < 8; ++attempt)
    {
        const std::size_t before = ftp.files().size();
        pPusher->createAndSendFiles();
        incomplete += ftp.files().size() == before ? 1 : 0;
    }
    simulator.command("drop * 0");
    const std::size_t before = ftp.files().size();
    pPusher->createAndSendFiles();
    console.reset();
    ASSERT_EQ(before + 1, ftp.files().size()) << "no document without loss";
    EXPECT_GT(incomplete, 0u) << "the loss never ended an attempt";

    const Uploads uploads(ftp, site);
    EXPECT_EQ(0u, uploads.partial);
    EXPECT_EQ(0u, uploads.duplicates);
    expectNoGap(uploads, site, *pReference);
    std::cout << "no-record-lost over BACnet/IP: " << ftp.files().size() << " documents, " << incomplete
              << " of 8 attempts under loss left none" << std::endl;
}
