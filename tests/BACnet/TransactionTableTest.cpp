#include "BACnet/ManualClock.h"
#include "Orvik_BACnet/TransactionTable.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

namespace Orvik::BACnet::Test
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

/// The parts of the table that the network contract suite does not reach through the simulated site: the wait
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
    table.setLimits(DEVICE, 2);
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

/// Devices 1 to 3 share link 5 (one request each at a time), device 4 is on no link.
TEST_F(TransactionTableTest, ALinksRequestsGoOutOldestFirstWithinItsLimitAndTheDevicesLimits)
{
    struct Case
    {
        const char* name;
        Poco::UInt32 linkLimit;
        /// The device of transaction 1, 2, ...
        std::vector<Poco::UInt32> devices;
        /// Transactions ended one after the other (sent or waiting).
        std::vector<Poco::UInt32> ended;
        std::vector<Poco::UInt32> sentOrder;
        /// Queueing reports: +id began to wait, -id went out after waiting.
        std::vector<int> reports;
    };
    const std::vector<Case> cases{
        {"oldest first across the link's devices", 2, {1, 2, 3, 1}, {1, 2}, {1, 2, 3, 4}, {3, 4, -3, -4}},
        {"a device's own limit holds within the link", 3, {1, 1, 2}, {}, {1, 3}, {2}},
        {"a waiting request that ends frees no slot", 1, {1, 2, 3, 1}, {2, 1}, {1, 3}, {2, 3, 4, -3}},
        {"devices on no link are not held", 1, {1, 2, 4, 4}, {3}, {1, 3, 4}, {2, 4, -4}},
    };
    for (const Case& aCase : cases)
    {
        std::vector<int> reports;
        TransactionTable::Settings roomy = settings();
        roomy.maxOpen = 8;
        TransactionTable linked(roomy, clock, nullptr,
                                [&reports](Poco::UInt32 id, bool waiting) {
                                    reports.push_back(waiting ? static_cast<int>(id) : -static_cast<int>(id));
                                });
        for (Poco::UInt32 device = 1; device <= 3; ++device)
            linked.setLimits(device, 1, TransactionTable::Link{5, aCase.linkLimit});
        sent.clear();
        Poco::UInt32 id = 0;
        for (Poco::UInt32 device : aCase.devices)
        {
            ++id;
            linked.open(id, device, recordInto(id));
        }
        for (Poco::UInt32 ended : aCase.ended)
            linked.end(ended);
        std::vector<Poco::UInt32> sentOrder;
        for (const auto& entry : sent)
            sentOrder.push_back(entry.first);
        EXPECT_EQ(sentOrder, aCase.sentOrder) << aCase.name;
        EXPECT_EQ(reports, aCase.reports) << aCase.name;
    }
}

}  // namespace

}  // namespace Orvik::BACnet::Test
