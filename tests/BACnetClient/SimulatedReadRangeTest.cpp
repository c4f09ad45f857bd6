#include "ClientFixture.h"

#include "Orvik_BACnetClient/ReadRangePager.h"

#include <Poco/DateTime.h>
#include "Eventually.h"

#include <tuple>

namespace Orvik::BACnet::Client::Test
{

namespace
{

/// The paging of the trend log export (by time after `after`, then on by sequence number): every page.
std::vector<ReadRangeAck::Result> readAllAfter(ServiceHelper& helper, const DataPropertyKey& key,
                                               const Poco::Timestamp& after)
{
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_TIME;
    range.refTime = DataType::BACnetDateTime(after);
    range.count = 0x7FFFFFF;
    ReadRangePager pager(helper, key, range);
    std::vector<ReadRangeAck::Result> pages(1);
    while (pages.size() <= 1000 && pager.next(pages.back()) == ReadRangePager::PAGE)
        pages.emplace_back();
    pages.pop_back();
    return pages;
}

ReadRange::Range rangeOf(ReadRange::RequestType type, Poco::Int32 count)
{
    ReadRange::Range range;
    range.requestType = type;
    range.count = count;
    return range;
}

/// The time of record `minute` + 1 of the test logs, which log once a minute from the start of 2026.
Poco::Timestamp january(int minute)
{
    return Poco::DateTime(2026, 1, 1).timestamp() + static_cast<Poco::Timestamp::TimeDiff>(minute) * 60000000;
}

}  // namespace

class SimulatedReadRangeTest : public ClientFixture
{
protected:
    void SetUp() override { start("test-network.json"); }

    /// The page's records are those the site holds, from `firstSequence` on.
    void expectRecordsOfSite(const DataObjectKey& trendLog, const ReadRangeAck::Result& page)
    {
        const std::size_t channels = page.itemCnt == 0 ? 1 : page.value.size() / page.itemCnt;
        ASSERT_EQ(page.value.size(), page.itemCnt * channels);
        for (Poco::UInt32 i = 0; i < page.itemCnt; ++i)
        {
            const auto records = site->getLogRecords(trendLog, page.firstSequenceNumber + i);
            ASSERT_EQ(records.size(), channels);
            for (std::size_t c = 0; c < channels; ++c)
                EXPECT_EQ(page.value.at(i * channels + c).get<DataType::BACnetLogRecord>(), records[c]);
        }
    }

    const DataPropertyKey _log = key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
};

TEST_F(SimulatedReadRangeTest, PagingByTimeThenSequenceReadsEveryRecordOnceInPagesBoundByTheMaxApdu)
{
    const std::vector<ReadRangeAck::Result> pages = readAllAfter(*helper, _log, Poco::Timestamp(0));
    ASSERT_EQ(pages.size(), 8u);  // 150 records, 20 to a 480-octet reply
    Poco::UInt32 expectedSequence = 1;
    for (std::size_t i = 0; i < pages.size(); ++i)
    {
        const ReadRangeAck::Result& page = pages[i];
        EXPECT_EQ(page.firstSequenceNumber, expectedSequence);
        EXPECT_EQ(page.itemCnt, i + 1 < pages.size() ? 20u : 10u);
        EXPECT_EQ(page.hasMoreItems(), i + 1 < pages.size());
        EXPECT_EQ((page.resultFlags & ReadRangeAck::RESULT_FIRST_ITEM) != 0, i == 0);
        EXPECT_EQ((page.resultFlags & ReadRangeAck::RESULT_LAST_ITEM) != 0, i + 1 == pages.size());
        expectRecordsOfSite(_log, page);
        expectedSequence += page.itemCnt;
    }
    EXPECT_EQ(pages.back().value.getLastTimeStamp(), january(149));

    // The next export starts after the last record: nothing new.
    const std::vector<ReadRangeAck::Result> again =
        readAllAfter(*helper, _log, pages.back().value.getLastTimeStamp());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].itemCnt, 0u);
    EXPECT_EQ(again[0].resultFlags, 0u);
}

TEST_F(SimulatedReadRangeTest, ByTimeTakesRecordsStrictlyNewerOrOlder)
{
    ReadRange::Range range = rangeOf(ReadRange::RT_BY_TIME, 3);
    range.refTime = DataType::BACnetDateTime(january(49));  // the time of record 50
    ReadRangeAck::Result result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 51u);
    EXPECT_EQ(result.itemCnt, 3u);
    EXPECT_FALSE(result.hasMoreItems());

    range.count = -5;
    result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 45u);
    EXPECT_EQ(result.itemCnt, 5u);
    expectRecordsOfSite(_log, result);

    // A time after the newest record, read back: the newest records (the log holds 150).
    range.refTime = DataType::BACnetDateTime(january(100000));
    result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 146u);
    EXPECT_EQ(result.itemCnt, 5u);
}

TEST_F(SimulatedReadRangeTest, ByPositionAndBySequence)
{
    ReadRange::Range range = rangeOf(ReadRange::RT_BY_POSITION, 5);
    range.refIndex = 10;
    EXPECT_EQ(readRange(_log, range).firstSequenceNumber, 10u);
    range.count = -3;
    ReadRangeAck::Result result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 8u);
    EXPECT_EQ(result.itemCnt, 3u);
    range.refIndex = 151;
    EXPECT_EQ(readRange(_log, range).itemCnt, 0u);

    range = rangeOf(ReadRange::RT_BY_SEQUENCE, 20);
    range.refSeqNum = 140;
    result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 140u);
    EXPECT_EQ(result.itemCnt, 11u);
    EXPECT_EQ(result.resultFlags, static_cast<Poco::UInt32>(ReadRangeAck::RESULT_LAST_ITEM));

    // Back from a reference with more records than fit: the ones nearest the reference are sent.
    range.count = -50;
    result = readRange(_log, range);
    EXPECT_EQ(result.firstSequenceNumber, 121u);
    EXPECT_EQ(result.itemCnt, 20u);
    EXPECT_TRUE(result.hasMoreItems());

    result = readRange(_log, rangeOf(ReadRange::RT_READ_ALL, 0));
    EXPECT_EQ(result.firstSequenceNumber, 1u);
    EXPECT_EQ(result.itemCnt, 20u);
    EXPECT_TRUE(result.hasMoreItems());
}

TEST_F(SimulatedReadRangeTest, PageSizeFollowsTheRecordSize)
{
    start("test-trendlogs.json");
    ReadRange::Range all = rangeOf(ReadRange::RT_READ_ALL, 0);
    EXPECT_EQ(readRange(key(3001, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER), all).itemCnt, 65u);  // 1476 octets
    EXPECT_EQ(readRange(key(2001, OBJECT_TRENDLOG, 2, PROP_LOG_BUFFER), all).itemCnt, 76u);  // binary records
    const ReadRangeAck::Result multiple =
        readRange(key(2001, OBJECT_TREND_LOG_MULTIPLE, 1, PROP_LOG_BUFFER), all);
    EXPECT_EQ(multiple.itemCnt, 50u);  // two REAL channels: 29 octets a record
    EXPECT_EQ(multiple.value.size(), 100u);
    expectRecordsOfSite(DataObjectKey(2001, DataType::ObjectIdentifier(OBJECT_TREND_LOG_MULTIPLE, 1)),
                        multiple);
}

TEST_F(SimulatedReadRangeTest, RingBufferKeepsTheNewestRecords)
{
    startWithText(R"({"devices": [{"instance": 9, "objects": [
        {"type": "analog-input", "instance": 1},
        {"type": "trend-log", "instance": 1, "logs": "analog-input:1",
         "log": {"start": "2026-01-01T00:00:00Z", "count": 150, "bufferSize": 100}}]}]})");
    const DataPropertyKey log = key(9, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
    EXPECT_EQ(read(key(9, OBJECT_TRENDLOG, 1, PROP_RECORD_COUNT)).getUInt(), 100u);
    EXPECT_EQ(read(key(9, OBJECT_TRENDLOG, 1, PROP_TOTAL_RECORD_COUNT)).getUInt(), 150u);

    const std::vector<ReadRangeAck::Result> pages = readAllAfter(*helper, log, Poco::Timestamp(0));
    EXPECT_EQ(pages.front().firstSequenceNumber, 51u);
    EXPECT_TRUE(pages.front().resultFlags & ReadRangeAck::RESULT_FIRST_ITEM);
    Poco::UInt32 records = 0;
    for (const ReadRangeAck::Result& page : pages)
        records += page.itemCnt;
    EXPECT_EQ(records, 100u);

    // A time before the oldest record held, read forward in a small count: the oldest held records.
    ReadRange::Range range = rangeOf(ReadRange::RT_BY_TIME, 10);
    range.refTime = DataType::BACnetDateTime(Poco::Timestamp(0));
    const ReadRangeAck::Result oldest = readRange(log, range);
    EXPECT_EQ(oldest.firstSequenceNumber, 51u);
    EXPECT_EQ(oldest.itemCnt, 10u);

    // By sequence number the reference record comes first: one overwritten or not yet logged matches none.
    range = rangeOf(ReadRange::RT_BY_SEQUENCE, 10);
    for (const auto& [reference, items] : {std::pair<Poco::UInt32, Poco::UInt32>{50, 0}, {51, 10}, {151, 0}})
    {
        range.refSeqNum = reference;
        EXPECT_EQ(readRange(log, range).itemCnt, items) << reference;
    }
}

TEST_F(SimulatedReadRangeTest, LiveLogGrowsWithTime)
{
    startWithText(R"({"devices": [{"instance": 9, "objects": [
        {"type": "analog-input", "instance": 1},
        {"type": "trend-log", "instance": 1, "logs": "analog-input:1",
         "log": {"intervalSeconds": 0.02, "count": 5, "live": true, "startSecondsAgo": 0.1}}]}]})");
    const DataObjectKey log(9, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1));
    const Poco::UInt64 before = site->getLastSequenceNumber(log);
    ASSERT_TRUE(Orvik::Test::eventually([&] { return site->getLastSequenceNumber(log) >= before + 3; }));

    ReadRange::Range range = rangeOf(ReadRange::RT_BY_SEQUENCE, 2);
    range.refSeqNum = static_cast<Poco::UInt32>(before + 1);
    const ReadRangeAck::Result result = readRange(DataPropertyKey(log, PROP_LOG_BUFFER), range);
    EXPECT_EQ(result.itemCnt, 2u);
    expectRecordsOfSite(log, result);
}

TEST_F(SimulatedReadRangeTest, RequestsThatDevicesRefuse)
{
    const ReadRange::Range range = rangeOf(ReadRange::RT_BY_POSITION, 1);
    const std::tuple<DataPropertyKey, ReadRange::Range, DataError> refused[] = {
        {key(100, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), range,
         DataError(ERROR_CLASS_SERVICES, ERROR_CODE_PROPERTY_IS_NOT_A_LIST)},
        {key(100, OBJECT_TRENDLOG, 9, PROP_LOG_BUFFER), range,
         DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT)},
        {_log, rangeOf(ReadRange::RT_BY_SEQUENCE, 0),
         DataError(ERROR_CLASS_SERVICES, ERROR_CODE_INCONSISTENT_PARAMETERS)},
        {key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER, 1), range,
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY)},
    };
    ReadRangeAck::Result page;
    for (const auto& [refusedKey, refusedRange, expected] : refused)
        EXPECT_EQ(readRange(refusedKey, refusedRange, page), expected) << expected.getString();
}

}  // namespace Orvik::BACnet::Client::Test
