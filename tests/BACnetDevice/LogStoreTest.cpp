// The file of the recorded trend logs: what goes in comes out, bounded, and sequence numbers never repeat,
// also across a reopen and a purge.
#include "Orvik_BACnetDevice/LogStore.h"

#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

namespace Orvik::BACnet::Device::Test
{

namespace
{

using DataType::BACnetLogRecord;

LogStore::Log logOf(Poco::UInt32 instance, Poco::UInt64 bufferSize, bool stopWhenFull = false)
{
    LogStore::Log log;
    log.instance = instance;
    log.bufferSize = bufferSize;
    log.stopWhenFull = stopWhenFull;
    return log;
}

/// A REAL record of `second`'s value at that second.
LogStore::Entry realAt(Poco::UInt32 instance, int second)
{
    BACnetLogRecord datum;
    datum.setReal(static_cast<float>(second));
    return LogStore::Entry{
        instance, LogStore::Record{Poco::Timestamp(Poco::Timestamp::TimeDiff(second) * 1000000), datum}};
}

class LogStoreTest : public testing::Test
{
protected:
    LogStoreTest() { _folder.createDirectories(); }

    /// The store with `logs`, each enabled as the configuration's `described` says.
    std::unique_ptr<LogStore> open(const std::vector<LogStore::Log>& logs, bool described = true)
    {
        auto pStore = std::make_unique<LogStore>(_folder.path() + "/records.db");
        for (const LogStore::Log& log : logs)
            pStore->addLog(log, described);
        return pStore;
    }

    Poco::TemporaryFile _folder;
};

}  // namespace

TEST_F(LogStoreTest, EveryKindOfDatumComesBackAsItWent)
{
    std::vector<BACnetLogRecord> data(10);
    data[0] = LogStore::logStatus(false, true, true);
    data[1].setBoolean(true);
    data[2].setReal(-21.25f);
    data[2].setStatusFlags(DataType::BitString(4));
    data[3].setEnumerated(3);
    data[4].setUnsigned(4294967296ULL);
    data[5].setSigned(-7);
    DataType::BitString bits(5);
    bits.setBit(4, true);
    data[6].setBitString(bits);
    data[7].setNull();
    data[8].setFailure(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
    data[9].setTimeChange(-3600.5f);
    auto pStore = open({logOf(1, 100)});
    std::vector<LogStore::Entry> entries;
    for (std::size_t i = 0; i < data.size(); ++i)
        entries.push_back(LogStore::Entry{
            1, LogStore::Record{Poco::Timestamp(Poco::Timestamp::TimeDiff(i) * 10000), data[i]}});
    pStore->append(entries);
    pStore.reset();
    const std::vector<LogStore::Record> read = open({logOf(1, 100)})->read(1, 1, 10);
    ASSERT_EQ(read.size(), data.size());
    for (std::size_t i = 0; i < data.size(); ++i)
    {
        EXPECT_EQ(read[i].datum, data[i]) << i;
        EXPECT_EQ(read[i].time, entries[i].record.time) << i;
    }
}

TEST_F(LogStoreTest, TheBufferKeepsTheNewestRecordsAndNumbersGoOnAfterAReopenAndAPurge)
{
    auto pStore = open({logOf(1, 3), logOf(2, 10)});
    pStore->append({realAt(1, 1), realAt(1, 2), realAt(2, 2), realAt(1, 3), realAt(1, 4)});
    EXPECT_EQ(pStore->state(1).first, 2u);
    EXPECT_EQ(pStore->state(1).last, 4u);
    EXPECT_EQ(pStore->state(2).last, 1u);
    // Times: the first after second 2 is record 3, the last before second 4 record 3.
    EXPECT_EQ(pStore->firstAfter(1, Poco::Timestamp(2000000)), 3u);
    EXPECT_EQ(pStore->lastBefore(1, Poco::Timestamp(4000000)), 3u);
    EXPECT_EQ(pStore->firstAfter(1, Poco::Timestamp(4000000)), 5u);
    EXPECT_EQ(pStore->lastBefore(1, Poco::Timestamp(1000000)), 0u);

    pStore = open({logOf(1, 2), logOf(2, 10)});  // a smaller buffer trims at once
    EXPECT_EQ(pStore->state(1).first, 3u);
    pStore->purge(1, Poco::Timestamp(5000000));
    pStore->append({realAt(1, 6)});
    const LogStore::State state = pStore->state(1);
    EXPECT_EQ(state.first, 5u);
    EXPECT_EQ(state.last, 6u);
    const std::vector<LogStore::Record> read = pStore->read(1, 5, 6);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].datum, LogStore::logStatus(false, true, false));
    EXPECT_EQ(read[1].datum.getReal(), 6.0f);
}

TEST_F(LogStoreTest, AFullLogThatStopsWhenFullEndsWithItsDisabledRecord)
{
    auto pStore = open({logOf(1, 3, true)});
    pStore->append({realAt(1, 1), realAt(1, 2), realAt(1, 3), realAt(1, 4)});
    EXPECT_FALSE(pStore->state(1).enabled);
    const std::vector<LogStore::Record> read = pStore->read(1, 1, 3);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[1].datum.getReal(), 2.0f);
    EXPECT_EQ(read[2].datum, LogStore::logStatus(true, false, false));
    // It stays off until purged; then a log-status record says it logs again.
    EXPECT_FALSE(pStore->setEnabled(1, true, Poco::Timestamp(5000000)));
    pStore->purge(1, Poco::Timestamp(5000000));
    EXPECT_TRUE(pStore->setEnabled(1, true, Poco::Timestamp(6000000)));
    pStore->append({realAt(1, 7)});
    EXPECT_EQ(pStore->state(1).first, 4u);
    EXPECT_EQ(pStore->state(1).last, 5u);
    EXPECT_EQ(pStore->read(1, 4, 4).at(0).datum, LogStore::logStatus(false, false, false));
}

TEST_F(LogStoreTest, AnEnableWrittenByAToolOutlastsRestartsUntilTheConfigurationChanges)
{
    // Per log: the configuration's enable at each opening and the log's enable then. After the first
    // opening a tool writes the opposite of the configuration.
    const std::vector<std::vector<std::pair<bool, bool>>> table{
        {{true, true}, {true, false}, {true, false}},
        {{false, false}, {false, true}},
        // The configuration changed: it holds again, also when it changes back.
        {{true, true}, {false, false}, {true, true}},
        {{false, false}, {true, true}, {false, false}}};
    for (std::size_t row = 0; row < table.size(); ++row)
    {
        SCOPED_TRACE(row);
        const LogStore::Log log = logOf(static_cast<Poco::UInt32>(row + 1), 10);
        const bool first = table[row].front().first;
        ASSERT_TRUE(open({log}, first)->setEnabled(log.instance, !first, Poco::Timestamp(1000000)));
        for (std::size_t opening = 1; opening < table[row].size(); ++opening)
            EXPECT_EQ(open({log}, table[row][opening].first)->state(log.instance).enabled,
                      table[row][opening].second)
                << "opening " << opening;
    }
}

}  // namespace Orvik::BACnet::Device::Test
