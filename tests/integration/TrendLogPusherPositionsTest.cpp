// Upload positions of the trend log pusher across clock changes and on unusual but legal sites: every
// record the devices hold is uploaded exactly once.

#include <gtest/gtest.h>

#include <Poco/TemporaryFile.h>

#include <cstdlib>
#include <ctime>
#include <map>
#include <set>

#include "ConsoleCapture.h"
#include "FtpServer.h"
#include "TrendLogPusherDocument.h"
#include "TrendLogPusherRig.h"
#include "TrendLogPusherSiteRecords.h"

using Orvik::Test::TrendLogPusherRig;

using Orvik::Test::FtpServer;

namespace
{

const Poco::UInt32 GATEWAY = 1001;

/// Sets the process's time zone (TZ) while it lives; the gateway and the simulated devices both keep
/// local time in it.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* previous = std::getenv("TZ");
        _hadPrevious = previous != nullptr;
        _previous = _hadPrevious ? previous : "";
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        if (_hadPrevious)
            ::setenv("TZ", _previous.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

private:
    bool _hadPrevious;
    std::string _previous;
};

/// The gateway with one trend log of `count` records from `start`, `interval` seconds apart.
std::string gatewaySite(const std::string& start, int interval, int count, int bufferSize)
{
    return R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701,
  "vendorName": "Orvik", "modelName": "GW", "objects": [
  {"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
  {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1",
   "log": {"start": ")" +
           start + R"(", "intervalSeconds": )" + std::to_string(interval) + R"(, "count": )" +
           std::to_string(count) +
           (bufferSize == 0 ? std::string() : R"(, "bufferSize": )" + std::to_string(bufferSize)) + "}}]}]}";
}

/// How often each record text occurs in the documents uploaded since `before` (file names).
void countUploaded(const FtpServer& ftp, std::size_t before, const std::string& channel,
                   std::map<std::string, int>& counts)
{
    const std::vector<std::string> files = ftp.files();
    for (std::size_t i = before; i < files.size(); ++i)
    {
        for (const std::string& record : TrendLogPusherDocument(ftp.readFile(files[i])).records(channel))
        {
            ++counts[record];
        }
    }
}

}  // namespace

TEST(TrendLogPusherPositions, ClockChangesAndWrappedBuffersLoseAndRepeatNoRecord)
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
        // The buffer of 20 records wraps between uploads: what it still holds follows.
        {"buffer wrapped", "UTC0", "2026-01-10T10:00:00Z", 60, {20, 60}, 20, 0, 0}};
    FtpServer ftp;
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const ScopedTimeZone zone(row.timeZone);
        Poco::TemporaryFile database;
        const std::size_t before = ftp.files().size();
        std::set<Poco::UInt64> held;  // sequence numbers held at some upload
        std::map<std::string, int> expected;
        std::string channel;
        const TrendLogPusherDocument xml("<Sequence name=\"probe\"/>");  // writes records as XML
        for (int count : row.counts)
        {
            TrendLogPusherRig rig(database.path(),
                                  gatewaySite(row.start, row.interval, count, row.bufferSize), GATEWAY);
            rig.database().configure(ftp.url(), "orvik", "secret", "", 1, 0);
            const auto tl = TrendLogPusherSiteRecords(rig.site()).trendLogs().front();
            if (row.clockStepAt != 0)
            {
                rig.site().setClockStep(tl.key, row.clockStepAt, Poco::Timespan(row.clockStepSeconds, 0));
            }
            channel = tl.channelIdentifier;
            auto pPusher = rig.newPusher();
            const Orvik::Test::ConsoleCapture console;
            pPusher->initialise();
            const bool uploaded = pPusher->createAndSendFiles();
            ASSERT_TRUE(uploaded);
            for (Poco::UInt64 sequenceNumber = rig.site().getFirstSequenceNumber(tl.key);
                 sequenceNumber <= rig.site().getLastSequenceNumber(tl.key); ++sequenceNumber)
            {
                // Two records may read the same (a time that repeats, a value that repeats): count them.
                const int newlyHeld = held.insert(sequenceNumber).second ? 1 : 0;
                for (const auto& record : rig.site().getLogRecords(tl.key, sequenceNumber))
                {
                    expected[xml.canonicalRecord(record)] += newlyHeld;
                }
            }
        }
        std::map<std::string, int> uploaded;
        countUploaded(ftp, before, channel, uploaded);
        EXPECT_EQ(expected, uploaded);
    }
}

TEST(TrendLogPusherPositions, DeviceZeroEpochRecordsAndProprietaryValuesAreUploaded)
{
    // Device 0, whose clock was never set (records up to and before the epoch), logs an object with the
    // proprietary unit and reliability 65535, and an accumulator whose maximum is 4294967295.
    const std::string site = R"({"devices": [
  {"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik", "modelName": "GW"},
  {"instance": 0, "name": "Zero", "vendorIdentifier": 7, "vendorName": "Sim", "modelName": "Z", "objects": [
   {"type": "analog-input", "instance": 1, "name": "Odd", "units": 65535, "properties": {"reliability": 65535}},
   {"type": "accumulator", "instance": 1, "name": "Meter"},
   {"type": "trend-log", "instance": 1, "name": "Odd Log", "logs": "analog-input:1",
    "log": {"start": "1969-12-31T23:58:00Z", "intervalSeconds": 60, "count": 5}},
   {"type": "trend-log", "instance": 2, "name": "Meter Log", "logs": "accumulator:1",
    "log": {"start": "1970-01-01T00:00:00Z", "intervalSeconds": 60, "count": 1}}]}]})";
    FtpServer ftp;
    Poco::TemporaryFile database;
    TrendLogPusherRig rig(database.path(), site, GATEWAY);
    rig.database().configure(ftp.url(), "orvik", "secret", "", 2, 0);
    const TrendLogPusherSiteRecords records(rig.site());
    auto pPusher = rig.newPusher();
    const Orvik::Test::ConsoleCapture console;
    pPusher->initialise();
    const bool uploaded = pPusher->createAndSendFiles();
    ASSERT_TRUE(uploaded);
    ASSERT_EQ(1u, ftp.files().size());
    const TrendLogPusherDocument document(ftp.readFile(ftp.files().front()));

    const auto& loggers = document.root().child("devices").child("0").child("loggers");
    const auto& odd = loggers.child("1").child("channels").child("1");
    EXPECT_EQ("65535", odd.child("units").value);
    EXPECT_EQ("65535", odd.child("reliability").value);
    EXPECT_EQ("4294967295", loggers.child("2").child("channels").child("1").child("max-pres-value").value);
    for (const auto& tl : records.trendLogs())
    {
        std::string mismatch;
        EXPECT_EQ(rig.site().getLastSequenceNumber(tl.key) + 1,
                  records.compare(tl, document, document.records(tl.channelIdentifier), 1, mismatch));
        EXPECT_EQ("", mismatch);
    }
}
