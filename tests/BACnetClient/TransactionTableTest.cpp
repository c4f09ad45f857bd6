#include "BACnetClient/ManualClock.h"
#include "Orvik_BACnetClient/TransactionTable.h"

#include <Poco/Exception.h>

#include <gtest/gtest.h>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const Poco::UInt32 DEVICE = 100;

TransactionTable::Settings settings()
{
    TransactionTable::Settings settings;
    settings.apduTimeoutMs = 1000;
    settings.apduRetries = 1;
    settings.segmentTimeoutMs = 300;
    settings.maxOutstanding = 1;
    settings.maxOpen = 3;
    return settings;
}

}  // namespace

/// The parts of the table that the contract suite does not reach through the simulated site: the wait
/// for an address, the segment timer, limits changed at run time, the bound on open transactions.
class TransactionTableTest : public ::testing::Test
{
protected:
    TransactionTable::Transmit recordInto(Poco::UInt32 transactionId)
    {
        return [this, transactionId](Poco::UInt8 invokeId) { sent.emplace_back(transactionId, invokeId); };
    }

    std::vector<Poco::UInt32> timedOut()
    {
        std::vector<Poco::UInt32> ids;
        for (const TransactionTable::Ended& ended : table.expire())
            ids.push_back(ended.transactionId);
        return ids;
    }

    ManualClock clock;
    std::vector<Poco::UInt32> lookups;
    std::vector<std::pair<Poco::UInt32, Poco::UInt8>> sent;
    TransactionTable table{settings(), clock, [this](Poco::UInt32 device) { lookups.push_back(device); }};
};

TEST_F(TransactionTableTest, RequestsWaitForTheAddressAndTimeOutWithoutIt)
{
    table.open(1, DEVICE, recordInto(1), false);
    table.open(2, DEVICE, recordInto(2), false);
    EXPECT_EQ(lookups, std::vector<Poco::UInt32>{DEVICE});  // one lookup for both
    EXPECT_TRUE(sent.empty());
    table.bind(DEVICE);
    ASSERT_EQ(sent.size(), 1u);  // the device takes one at a time
    EXPECT_EQ(table.complete(DEVICE, sent[0].second), std::optional<Poco::UInt32>(1));
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[1].second, sent[0].second);                        // invoke ids rotate
    EXPECT_EQ(table.complete(DEVICE, sent[0].second), std::nullopt);  // a late duplicate

    table.open(3, 200, recordInto(3), false);
    clock.advance(1000);
    EXPECT_TRUE(timedOut().empty());  // both try again: 2 is sent again, 200 is looked up again
    EXPECT_EQ(sent.size(), 3u);
    EXPECT_EQ(lookups.size(), 3u);
    clock.advance(1000);
    EXPECT_EQ(timedOut(), (std::vector<Poco::UInt32>{3, 2}));
    EXPECT_EQ(table.size(), 0u);
    EXPECT_EQ(table.millisecondsToNextTimer(), -1);
}

TEST_F(TransactionTableTest, SegmentTimerIsNotRetriedAndEndReportsWhatWasOpen)
{
    table.open(1, DEVICE, recordInto(1));
    ASSERT_EQ(table.segmentReceived(DEVICE, sent.at(0).second), std::optional<Poco::UInt32>(1));
    EXPECT_EQ(table.millisecondsToNextTimer(), 300);
    clock.advance(300);
    const std::vector<TransactionTable::Ended> ended = table.expire();
    ASSERT_EQ(ended.size(), 1u);
    EXPECT_TRUE(ended[0].receivingSegments);
    EXPECT_EQ(sent.size(), 1u);  // not sent again

    table.open(2, DEVICE, recordInto(2));
    table.open(3, DEVICE, recordInto(3));
    const std::optional<TransactionTable::Ended> waiting = table.end(3);
    ASSERT_TRUE(waiting.has_value());
    EXPECT_FALSE(waiting->invokeId.has_value());
    EXPECT_TRUE(table.end(2)->invokeId.has_value());
    EXPECT_FALSE(table.end(2).has_value());
}

TEST_F(TransactionTableTest, LimitsHold)
{
    for (Poco::UInt32 id = 1; id <= 3; ++id)
        table.open(id, DEVICE, recordInto(id));
    EXPECT_THROW(table.open(4, DEVICE, recordInto(4)), Poco::PoolOverflowException);
    EXPECT_THROW(table.open(3, DEVICE, recordInto(3)), Poco::ExistsException);
    EXPECT_EQ(sent.size(), 1u);
    table.setMaxOutstanding(DEVICE, 2);
    EXPECT_EQ(sent.size(), 2u);
    // A transmit that throws is a lost datagram: the timer sends it again.
    table.end(1);
    table.end(2);
    table.end(3);
    int tries = 0;
    table.open(5, DEVICE,
               [&tries](Poco::UInt8)
               {
                   if (++tries == 1)
                       throw Poco::IOException("network down");
               });
    clock.advance(1000);
    EXPECT_TRUE(table.expire().empty());
    EXPECT_EQ(tries, 2);
}

}  // namespace Orvik::BACnet::Client::Test
