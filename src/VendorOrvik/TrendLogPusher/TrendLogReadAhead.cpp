#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogReadAhead.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <optional>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/Date.h"
#include "Orvik_BACnet/DataType/Time.h"
#include "Orvik_BACnetClient/DataObjectKey.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using Client::ReadRangePager;
using Client::ServiceHelper;
using Result = Client::ReadRangeAck::Result;

namespace
{

/// The count of every first range: more than any log buffer holds, so each page is as full as the device
/// can make it.
const Poco::Int32 RECORD_COUNT = 134217727;

/// The first range of a trend log that was never uploaded: every record held, whatever its time (a
/// device whose clock was never set stamps the epoch), by sequence number: an answer by position carries
/// no sequence numbers on the wire, and without the last one the next upload would have to go by time
/// and lose what a repeated hour or a clock set back stamps earlier.
Client::ReadRange::Range fromFirstRecord()
{
    Client::ReadRange::Range range;
    range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
    range.refSeqNum = 1;
    range.count = RECORD_COUNT;
    return range;
}

/// Every record held from the oldest on, by time from the earliest time a BACnet date can name (Monday
/// 1 January 1900, 00:00). The answer carries the first record's sequence number, so the pages after it
/// go on by sequence number.
Client::ReadRange::Range fromOldestRecord()
{
    Client::ReadRange::Range range;
    range.requestType = Client::ReadRange::RT_BY_TIME;
    range.refTime = DataType::BACnetDateTime(DataType::Date(1900, 1, 1, 1), DataType::Time(0, 0, 0, 0));
    range.count = RECORD_COUNT;
    return range;
}

}  // namespace

/// A page read and not yet taken: its records in memory, or in the spool.
struct TrendLogReadAhead::KeptPage
{
    Result page;
    std::optional<PageSpool::Entry> spooled;
};

/// One trend log of the document and what has been read of it.
struct TrendLogReadAhead::TrendLog
{
    Client::DataPropertyKey key;
    DataTrendLog::Position position;
    Poco::UInt32 deviceInstance = 0;
    Poco::UInt32 checkRequest = 0;  ///< the check of the last uploaded record on its way; 0: none
    bool checked = false;           ///< the check is done or not needed: the pager exists
    std::unique_ptr<ReadRangePager> pager;
    /// The pager reads from sequence number 1 and has not answered yet: a log that wrapped no longer
    /// holds record 1, and a device may answer that read with no records.
    bool fromFirstRecord = false;
    /// The log no longer held the last uploaded record: the first page tells how many were overwritten.
    bool lastUploadedGone = false;
    Poco::UInt32 overwritten = 0;
    std::deque<KeptPage> pages;  ///< read, not yet taken
    bool exhausted = false;      ///< no page follows those kept
    ReadRangePager::Outcome end = ReadRangePager::ENDED;
    DataError error;  ///< of a FAILED end

    Poco::UInt32 pendingRequest() const { return checkRequest != 0 ? checkRequest : pagerRequest(); }
    Poco::UInt32 pagerRequest() const { return pager ? pager->pendingRequest() : 0; }
};

TrendLogReadAhead::TrendLogReadAhead(ServiceHelper& services, const Limits& limits)
    : _services(services), _limits(limits)
{
}

TrendLogReadAhead::~TrendLogReadAhead() = default;

std::size_t TrendLogReadAhead::add(const DataTrendLog::Position& position)
{
    auto pTrendLog = std::make_unique<TrendLog>();
    TrendLog& tl = *pTrendLog;
    tl.key = Client::DataPropertyKey(Client::DataObjectKey(position), PROP_LOG_BUFFER);
    tl.position = position;
    tl.deviceInstance = Client::DataObjectKey(position).deviceInstance;
    if (position.isNeverUploaded())
    {
        startPager(tl, fromFirstRecord());
        tl.fromFirstRecord = true;
    }
    else if (position.getSequenceNumber() == 0)
    {
        Client::ReadRange::Range range;
        range.requestType = Client::ReadRange::RT_BY_TIME;
        range.refTime = DataType::BACnetDateTime(position.getTimeStamp());
        range.count = RECORD_COUNT;
        startPager(tl, range);
    }
    _trendLogs.push_back(std::move(pTrendLog));
    return _trendLogs.size() - 1;
}

std::vector<TrendLogReadAhead::Overwritten> TrendLogReadAhead::overwritten() const
{
    std::vector<Overwritten> result;
    for (const auto& pTrendLog : _trendLogs)
    {
        if (pTrendLog->overwritten != 0)
        {
            result.push_back(Overwritten{pTrendLog->position, pTrendLog->overwritten});
        }
    }
    return result;
}

void TrendLogReadAhead::startPager(TrendLog& tl, const Client::ReadRange::Range& range)
{
    tl.pager = std::make_unique<ReadRangePager>(_services, tl.key, range);
    tl.checked = true;
}

ReadRangePager::Outcome TrendLogReadAhead::next(std::size_t index, Result& page, DataError* pError)
{
    TrendLog& tl = *_trendLogs.at(index);
    for (;;)
    {
        if (!tl.pages.empty())
        {
            KeptPage kept = std::move(tl.pages.front());
            tl.pages.pop_front();
            page = std::move(kept.page);
            if (kept.spooled)
            {
                page.value = _pSpool->take(*kept.spooled);
            }
            else
            {
                _keptBytes -= estimatedBytes(page);
            }
            return ReadRangePager::PAGE;
        }
        if (tl.exhausted)
        {
            page = Result();
            if (tl.end == ReadRangePager::FAILED && pError != nullptr)
            {
                *pError = tl.error;
            }
            return tl.end;
        }
        topUp(index);
        if (tl.pendingRequest() == 0 && !deviceBusy(tl.deviceInstance))
        {
            // The pager refuses to ask again: its last page gave nothing to continue from. Its next()
            // says so (throws).
            return tl.pager->next(page, pError);
        }
        if (!takeOneReply(index))
        {
            page = Result();
            return ReadRangePager::STOPPED;
        }
    }
}

void TrendLogReadAhead::topUp(std::size_t current)
{
    const std::size_t end = std::min(_trendLogs.size(), current + 1 + _limits.trendLogsAhead);
    for (std::size_t i = current; i < end; ++i)
    {
        ask(*_trendLogs[i], i == current);
    }
}

bool TrendLogReadAhead::ask(TrendLog& tl, bool current)
{
    if (tl.exhausted || tl.pendingRequest() != 0 || deviceBusy(tl.deviceInstance))
    {
        return false;
    }
    if (!tl.checked)
    {
        Client::ReadRange::Range range;
        range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
        range.refSeqNum = tl.position.getSequenceNumber();
        range.count = 1;
        tl.checkRequest = _services.asyncRR(tl.key, range);
        _busyDevices.insert(tl.deviceInstance);
        return true;
    }
    if (!current && !hasRoomAhead())
    {
        return false;
    }
    tl.pager->request();
    if (tl.pagerRequest() == 0)
    {
        return false;
    }
    _busyDevices.insert(tl.deviceInstance);
    return true;
}

bool TrendLogReadAhead::takeOneReply(std::size_t current)
{
    std::vector<Poco::UInt32> requests;
    for (const auto& pTrendLog : _trendLogs)
    {
        if (const Poco::UInt32 request = pTrendLog->pendingRequest())
        {
            requests.push_back(request);
        }
    }
    if (requests.empty())
    {
        throw Poco::IllegalStateException("trend log read-ahead waits for no request");
    }
    const Poco::UInt32 replied = _services.awaitAnyReply(requests);
    if (replied == 0)
    {
        return false;
    }
    for (std::size_t i = 0; i < _trendLogs.size(); ++i)
    {
        TrendLog& tl = *_trendLogs[i];
        if (tl.checkRequest == replied)
        {
            takeCheck(tl);
            return true;
        }
        if (tl.pagerRequest() == replied)
        {
            takePage(tl, i == current);
            return true;
        }
    }
    return true;
}

void TrendLogReadAhead::takeCheck(TrendLog& tl)
{
    Result values;
    const ServiceHelper::SyncReslut result = _services.awaitRR(tl.checkRequest, values);
    tl.checkRequest = 0;
    _busyDevices.erase(tl.deviceInstance);
    if (result == ServiceHelper::SYNC_RESULT_STOP)
    {
        tl.exhausted = true;
        tl.end = ReadRangePager::STOPPED;
        return;
    }
    // The same number and the same time. Times compare as the device's local time: a local time in an
    // hour that repeats reads back as either instant, but both give the same local time.
    const bool holdsLastUploaded = result == ServiceHelper::SYNC_RESULT_SUCCESS && values.itemCnt == 1 &&
                                   values.firstSequenceNumber == tl.position.getSequenceNumber() &&
                                   DataType::BACnetDateTime(values.value.getLastTimeStamp()) ==
                                       DataType::BACnetDateTime(tl.position.getTimeStamp());
    Client::ReadRange::Range range;
    range.count = RECORD_COUNT;
    if (holdsLastUploaded)
    {
        // Sequence numbers go on whatever the clocks do (a repeated daylight-saving hour, a device clock
        // set back), where times would repeat or skip records.
        range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
        range.refSeqNum = ReadRangePager::nextSequenceNumber(tl.position.getSequenceNumber());
    }
    else
    {
        // The log no longer holds the last uploaded record (cleared, wrapped, renumbered): the records
        // after its time.
        range.requestType = Client::ReadRange::RT_BY_TIME;
        range.refTime = DataType::BACnetDateTime(tl.position.getTimeStamp());
        tl.lastUploadedGone = true;
    }
    startPager(tl, range);
}

void TrendLogReadAhead::takePage(TrendLog& tl, bool current)
{
    Result page;
    DataError error;
    const ReadRangePager::Outcome outcome = tl.pager->next(page, &error);
    _busyDevices.erase(tl.deviceInstance);
    if (outcome == ReadRangePager::PAGE)
    {
        if (tl.fromFirstRecord && page.itemCnt == 0)
        {
            // Record 1 was overwritten before the first upload and the device answers a read of a record
            // it no longer holds with nothing: read from its oldest record instead.
            startPager(tl, fromOldestRecord());
            tl.fromFirstRecord = false;
            ask(tl, current);
            return;
        }
        tl.fromFirstRecord = false;
        countOverwritten(tl, page);
        tl.pages.push_back(keep(std::move(page), current));
        tl.exhausted = tl.pager->isEnded();
        // The page after it is asked for before this one is written.
        ask(tl, current);
        return;
    }
    tl.exhausted = true;
    tl.end = outcome;
    tl.error = error;
}

void TrendLogReadAhead::countOverwritten(TrendLog& tl, const Result& firstPage)
{
    if (!tl.lastUploadedGone)
    {
        return;
    }
    tl.lastUploadedGone = false;
    // Records numbered between the last uploaded one and the oldest one held are gone. A first number
    // at or below the last uploaded one is a log that was cleared or renumbered: nothing to count.
    const Poco::UInt32 expected = ReadRangePager::nextSequenceNumber(tl.position.getSequenceNumber());
    if (firstPage.itemCnt > 0 && firstPage.firstSequenceNumber > expected)
    {
        tl.overwritten = firstPage.firstSequenceNumber - expected;
    }
}

TrendLogReadAhead::KeptPage TrendLogReadAhead::keep(Result page, bool current)
{
    KeptPage kept;
    if (!current && _keptBytes >= _limits.memoryCap && hasRoomAhead())
    {
        kept.spooled = _pSpool->put(page.value);
    }
    if (kept.spooled)
    {
        page.value = ValueContainer();
    }
    else
    {
        _keptBytes += estimatedBytes(page);
    }
    kept.page = std::move(page);
    return kept;
}

bool TrendLogReadAhead::hasRoomAhead()
{
    if (_keptBytes < _limits.memoryCap)
    {
        return true;
    }
    if (!_pSpool && !_limits.spoolFolder.empty())
    {
        _pSpool = std::make_unique<PageSpool>(_limits.spoolFolder, _limits.spoolCap, _limits.spoolReserve);
    }
    return _pSpool && _pSpool->hasRoom();
}

bool TrendLogReadAhead::deviceBusy(Poco::UInt32 deviceInstance) const
{
    return _busyDevices.count(deviceInstance) != 0;
}

std::size_t TrendLogReadAhead::estimatedBytes(const Result& page)
{
    return sizeof(Result) + page.value.size() * sizeof(BACnetValue);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
