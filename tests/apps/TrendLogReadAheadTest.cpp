// The trend log read-ahead: pages of trend logs on several devices, answered out of order, come out in
// document order, never more than one request per device on its way, and a failure in a trend log read
// ahead ends its trend log where reading one after the other would have; a device that stops answering
// ends the document within its time-outs.

#include <gtest/gtest.h>

#include <Poco/Clock.h>
#include <Poco/File.h>
#include <Poco/TemporaryFile.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <sstream>
#include <thread>
#include <vector>

#include "Orvik_BACnetClient/NotificationRequestRR.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogReadAhead.h"
#include "TextFile.h"
#include "TrendLogPusherRig.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
{

namespace
{

using Client::ReadRangePager;

const Poco::UInt32 PAGE = 4;  // records per page

/// A trend log on a device: `records` records numbered from 1; `failingPage` (from 1) is answered with an
/// error, 0: none.
struct Log
{
    Poco::UInt32 device, instance, records, failingPage;
};

/// Devices that hold up to 3 requests and answer the newest first, so that answers come out of order;
/// notes when a device was asked again before it answered.
class ScramblingDevices
{
public:
    ScramblingDevices(Poco::NotificationQueue& requests, Poco::NotificationQueue& responses,
                      const std::vector<Log>& logs)
        : _requests(requests), _responses(responses), _logs(logs), _thread([this] { run(); })
    {
    }
    ~ScramblingDevices()
    {
        _stop = true;
        _thread.join();
    }
    bool askedTwice() const { return _askedTwice; }

private:
    void run()
    {
        std::vector<Poco::AutoPtr<Poco::Notification>> held;
        while (!_stop)
        {
            Poco::AutoPtr<Poco::Notification> pNf(_requests.waitDequeueNotification(5));
            if (!pNf.isNull())
            {
                const auto& request = dynamic_cast<Client::NotificationRequestRR&>(*pNf);
                _askedTwice = _askedTwice || _busy[request.getKey().deviceInstance]++ > 0;
                held.push_back(pNf);
            }
            if (!held.empty() && (held.size() >= 3 || pNf.isNull()))
            {
                answer(dynamic_cast<Client::NotificationRequestRR&>(*held.back()));
                held.pop_back();
            }
        }
    }
    void answer(const Client::NotificationRequestRR& request)
    {
        const auto& key = request.getKey();
        --_busy[key.deviceInstance];
        const Log& log = *std::find_if(
            _logs.begin(), _logs.end(),
            [&](const Log& l)
            { return l.device == key.deviceInstance && l.instance == key.objectIdentifier.getInstance(); });
        const Client::ReadRange::Range& range = request.getRange();
        const Poco::UInt32 first =
            range.requestType == Client::ReadRange::RT_BY_SEQUENCE ? range.refSeqNum : range.refIndex;
        Client::ReadRangeAck::Result page;
        page.firstSequenceNumber = first;
        page.itemCnt = std::min(PAGE, log.records - first + 1);
        page.resultFlags = first + page.itemCnt <= log.records ? Client::ReadRangeAck::RESULT_MORE_ITEMS : 0;
        const bool fails = log.failingPage != 0 && first == (log.failingPage - 1) * PAGE + 1;
        _responses.enqueueNotification(
            fails ? request.answerError(DataError(ERROR_CLASS_DEVICE, ERROR_CODE_OPERATIONAL_PROBLEM))
                  : request.answer(Client::NetworkReply(page)));
    }

    Poco::NotificationQueue& _requests;
    Poco::NotificationQueue& _responses;
    const std::vector<Log> _logs;
    std::map<Poco::UInt32, int> _busy;
    std::atomic<bool> _stop{false};
    std::atomic<bool> _askedTwice{false};
    std::thread _thread;
};

}  // namespace

TEST(TrendLogReadAhead, PagesComeInDocumentOrderAndAFailureWhereItWouldHaveBeen)
{
    // Device 1 holds two trend logs, device 2 one that fails on its third page, device 3 one more.
    const std::vector<Log> logs = {{1, 1, 10, 0}, {1, 2, 9, 0}, {2, 1, 13, 3}, {3, 1, 6, 0}};
    for (const std::size_t memoryCap : {std::size_t(0), std::size_t(4) << 20})
    {
        Poco::NotificationQueue requests, responses;
        Client::ServiceHelper services(&requests, &responses);
        ScramblingDevices devices(requests, responses, logs);
        TrendLogReadAhead readAhead(services, TrendLogReadAhead::Limits(memoryCap));
        for (const Log& log : logs)
        {
            readAhead.add(DataTrendLog::Position(DataType::BACnetDeviceObjectReference(
                DataType::ObjectIdentifier(OBJECT_DEVICE, log.device),
                DataType::ObjectIdentifier(OBJECT_TRENDLOG, log.instance))));
        }
        for (std::size_t index = 0; index < logs.size(); ++index)
        {
            Poco::UInt32 next = 1;
            Client::ReadRangeAck::Result page;
            DataError error;
            ReadRangePager::Outcome outcome;
            while ((outcome = readAhead.next(index, page, &error)) == ReadRangePager::PAGE)
            {
                EXPECT_EQ(next, page.firstSequenceNumber) << "trend log " << index;
                next += page.itemCnt;
            }
            const bool fails = logs[index].failingPage != 0;
            EXPECT_EQ(fails ? ReadRangePager::FAILED : ReadRangePager::ENDED, outcome)
                << "trend log " << index;
            EXPECT_EQ(fails ? (logs[index].failingPage - 1) * PAGE + 1 : logs[index].records + 1, next);
            EXPECT_EQ(fails, error.hasError());
        }
        EXPECT_EQ(0u, readAhead.keptBytes());
        EXPECT_FALSE(devices.askedTwice());
    }
}

TEST(TrendLogReadAhead, ADeviceThatStopsAnsweringEndsTheDocumentWithinItsTimeOuts)
{
    // The gateway and three devices with two trend logs of three pages each (65 records a page).
    std::string site = R"({"devices": [{"instance": 1001})";
    for (const char* device : {"2001", "2002", "2003"})
    {
        site += std::string(R"(, {"instance": )") + device +
                R"(, "objects": [{"type": "analog-value", "instance": 1})";
        for (const char* instance : {"1", "2"})
            site +=
                std::string(R"(, {"type": "trend-log", "instance": )") + instance +
                R"(, "logs": "analog-value:1", "log": {"start": "2024-01-01T00:00:00Z", "intervalSeconds": 60, "count": 150}})";
        site += "]}";
    }
    site += "]}";
    // The device stops answering ReadRange after its first page: while its pages are being written, or
    // while they are read ahead of the document.
    for (const Poco::UInt32 stalling : {2001u, 2003u})
    {
        SCOPED_TRACE(stalling);
        Poco::TemporaryFile database;
        Orvik::Test::TrendLogPusherRig rig(database.path(), site, 1001);
        rig.database().configure("ftp://127.0.0.1:1", "orvik", "secret", "", 2, 0);
        auto pPusher = rig.newPusher();
        pPusher->initialise();
        rig.site().addFault(stalling, {Client::Simulation::SimulatedFault::READ_RANGE, {}, {}, {}, 1});
        std::ostringstream document;
        const Poco::Clock start;
        EXPECT_FALSE(pPusher->streamAll(document));
        // The rig's network gives up on a request after two tries of 300 ms; the worker's own deadline
        // is a minute. Ten times the network's time-outs is far from both.
        EXPECT_LT(start.elapsed(), 6000000);
    }
}

TEST(TrendLogReadAhead, ABacklogBeyondTheMemoryCapWaitsInTheSpoolAndComesBackAsRead)
{
    // Logs of REAL, BOOLEAN-like and Unsigned records on two devices, read once with everything kept in
    // memory and once with every page ahead of the document spooled.
    Poco::TemporaryFile database;
    Orvik::Test::TrendLogPusherRig rig(
        database.path(), Orvik::Test::readFile(ORVIK_SOURCE_DIR "/sites/test-trendlogs.json"), 1001);
    rig.database().configure("ftp://127.0.0.1:1", "orvik", "secret", "", 2, 0);
    auto pPusher = rig.newPusher();
    pPusher->initialise();
    const auto readAll = [&](const TrendLogReadAhead::Limits& limits, std::size_t& spooled)
    {
        std::vector<Client::ReadRangeAck::Result> pages;
        TrendLogReadAhead readAhead(*pPusher, limits);
        std::size_t count = 0;
        for (const auto& device : pPusher->getDevices())
            for (const auto& tl : device.trendLogs)
                readAhead.add(tl.objKey), ++count;
        for (std::size_t index = 0; index < count; ++index)
        {
            Client::ReadRangeAck::Result page;
            while (readAhead.next(index, page) == ReadRangePager::PAGE)
                pages.push_back(page);
            spooled = std::max(spooled, readAhead.spooledBytes());
        }
        return pages;
    };
    std::size_t spooled = 0;
    const auto inMemory = readAll(TrendLogReadAhead::Limits(), spooled);
    Poco::TemporaryFile folder;
    folder.createDirectories();
    TrendLogReadAhead::Limits spooling(0, 256, folder.path());
    spooling.spoolReserve = 0;
    const auto throughSpool = readAll(spooling, spooled);
    EXPECT_GT(spooled, 0u);
    ASSERT_EQ(inMemory.size(), throughSpool.size());
    for (std::size_t i = 0; i < inMemory.size(); ++i)
    {
        EXPECT_EQ(inMemory[i].firstSequenceNumber, throughSpool[i].firstSequenceNumber);
        EXPECT_EQ(inMemory[i].itemCnt, throughSpool[i].itemCnt);
        EXPECT_EQ(inMemory[i].resultFlags, throughSpool[i].resultFlags);
        EXPECT_TRUE(inMemory[i].value == throughSpool[i].value) << "page " << i;
    }
    std::vector<std::string> left;
    Poco::File(folder.path()).list(left);
    EXPECT_TRUE(left.empty()) << "the spool file stays after the document";
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher::Test
