// Upload positions of the trend log pusher across clock changes and on unusual but legal sites: every
// record the devices hold is uploaded exactly once.

#include <cstdlib>
#include <ctime>
#include <set>

#include "TrendLogPusherFixture.h"

namespace
{

/// Sets the process's time zone (TZ) while it lives; the gateway and the simulated devices both keep
/// local time in it.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone) : _previous(std::getenv("TZ") ? std::getenv("TZ") : "")
    {
        _hadPrevious = std::getenv("TZ") != nullptr;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        _hadPrevious ? ::setenv("TZ", _previous.c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::string _previous;
    bool _hadPrevious;
};

/// The gateway with one trend log of `count` records from `start`, `interval` seconds apart.
std::string gatewaySite(const std::string& start, int interval, int count, int bufferSize)
{
    return R"({"devices": [{"instance": 1001, "objects": [{"type": "analog-value", "instance": 1},
  {"type": "trend-log", "instance": 1, "logs": "analog-value:1", "log": {"start": ")" +
           start + R"(", "intervalSeconds": )" + std::to_string(interval) + R"(, "count": )" +
           std::to_string(count) +
           (bufferSize == 0 ? "" : R"(, "bufferSize": )" + std::to_string(bufferSize)) + "}}]}]}";
}

using TrendLogPusherPositions = TrendLogPusherFixture;

}  // namespace

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
        // The buffer of 20 records wraps between uploads: what it still holds follows.
        {"buffer wrapped", "UTC0", "2026-01-10T10:00:00Z", 60, {20, 60}, 20, 0, 0}};
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        const ScopedTimeZone zone(row.timeZone);
        forgetGateway();
        const std::size_t before = ftp().files().size();
        std::set<Poco::UInt64> held;  // sequence numbers held at some upload
        std::map<std::string, int> expected;
        for (int count : row.counts)
        {
            serve(gatewaySite(row.start, row.interval, count, row.bufferSize));
            const auto tl = site().trendLogs().front();
            if (row.clockStepAt != 0)
                _pRig->site().setClockStep(tl.key, row.clockStepAt, Poco::Timespan(row.clockStepSeconds, 0));
            ASSERT_TRUE(start().createAndSendFiles());
            for (Poco::UInt64 sequenceNumber = _pRig->site().getFirstSequenceNumber(tl.key);
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
