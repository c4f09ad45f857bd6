#pragma once

#include <Poco/Types.h>

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_BACnetClient/ReadRangePager.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PageSpool.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Reads the new records of the trend logs of one export document ahead of the writer, so that the
/// document takes about as long as its slowest device rather than the sum of all devices' round trips.
///
/// The trend logs are given in document order (add()); the writer then takes their pages in that order
/// (next()). While it waits for a page, every device with a trend log within the read-ahead window keeps
/// one request on its way: the check whether its log still holds the last uploaded record, or its next
/// page. A page that arrives is kept until the writer takes it, and the page after it is asked for at
/// once. Bounds:
///   - one request on its way per device (a device's pages come one after the other anyway);
///   - at most `trendLogsAhead` trend logs after the one being written are read ahead;
///   - pages of later trend logs are kept in memory while the kept pages take less than `memoryCap`
///     bytes (estimated from their records), then in a spool file in `spoolFolder` (PageSpool, at most
///     `spoolCap` bytes, leaving `spoolReserve` bytes free on its file system), so that with a backlog
///     every device keeps paging while the document is written; once neither has room, they are asked
///     for no more. The trend log being written always gets its pages, so the writer never waits for
///     room. An empty `spoolFolder` keeps everything in memory.
///
/// What the writer sees is what reading one trend log after the other would give: the same pages in
/// the same order, from the same first range, and the same end. The first range: never uploaded, every
/// record held, by sequence number from 1, or, when that read gives nothing (the log wrapped before its
/// first upload, and the device answers a read of a record it no longer holds with nothing), by time
/// from the oldest record; the log still holds the last uploaded record (its sequence number with its
/// time): the records after that number; else the records after its time, and when the log wrapped past
/// the last uploaded record, the records overwritten in between are counted (overwritten()). The end: a
/// failed page (FAILED with its error) comes after the pages before it, a stop request (STOPPED) at once, and
/// a device that pages in a way that cannot go on makes next() throw Poco::ProtocolException after its last
/// page. A device that stops answering holds no one past its time-outs: its request ends with an error from
/// the client worker like any other.
///
/// Works on the requester's thread with its response queue (see ServiceHelper). Requests still on their
/// way when the read-ahead is destroyed (a failed document) are left to end; their replies reach the
/// requester's queue later, where the app's loop drops them.
class TrendLogReadAhead
{
public:
    struct Limits
    {
        explicit Limits(std::size_t aMemoryCap = 4u << 20, std::size_t aTrendLogsAhead = 4096,
                        std::string aSpoolFolder = "")
            : memoryCap(aMemoryCap), trendLogsAhead(aTrendLogsAhead), spoolFolder(std::move(aSpoolFolder))
        {
        }

        std::size_t memoryCap;                  ///< bytes of kept pages, estimated
        std::size_t trendLogsAhead;             ///< trend logs read ahead of the one being written
        std::string spoolFolder;                ///< where pages beyond the memory cap go; empty: nowhere
        std::size_t spoolCap = 256u << 20;      ///< bytes of the spool file
        Poco::UInt64 spoolReserve = 64u << 20;  ///< bytes the spool leaves free on its file system
    };

    TrendLogReadAhead(Client::ServiceHelper& services, const Limits& limits);
    ~TrendLogReadAhead();

    /// Adds the trend log `position` (its device object reference and upload position) as the next one
    /// of the document. Returns its index for next().
    std::size_t add(const DataTrendLog::Position& position);

    /// The next page of trend log `index`; indexes must be taken in order (an earlier trend log is done
    /// once a later one is asked for). PAGE: the page is in `page`; ENDED: no page follows; FAILED,
    /// STOPPED: see Client::ReadRangePager.
    Client::ReadRangePager::Outcome next(std::size_t index, Client::ReadRangeAck::Result& page,
                                         DataError* pError = nullptr);

    /// Bytes of the pages kept in memory now, as estimated against the memory cap.
    std::size_t keptBytes() const { return _keptBytes; }
    /// Bytes written to the spool file so far.
    std::size_t spooledBytes() const { return _pSpool ? _pSpool->bytes() : 0; }

    /// A trend log that no longer held its last uploaded record and the records overwritten since it
    /// (the log wrapped faster than the uploads came): they cannot be read any more.
    struct Overwritten
    {
        DataTrendLog::Position position;
        Poco::UInt32 records = 0;
    };
    /// The trend logs whose first page showed records overwritten since their last upload, in order.
    std::vector<Overwritten> overwritten() const;

private:
    struct TrendLog;
    struct KeptPage;

    /// Asks, for every device free of requests, for what its earliest unfinished trend log in the window
    /// needs next.
    void topUp(std::size_t current);
    /// Asks for what `tl` needs next (its check, else its next page) when allowed; true when asked.
    bool ask(TrendLog& tl, bool current);
    /// Waits for one reply of the requests on their way and hands it to its trend log. False on a stop.
    bool takeOneReply(std::size_t current);
    void takeCheck(TrendLog& tl);
    void takePage(TrendLog& tl, bool current);
    void startPager(TrendLog& tl, const Client::ReadRange::Range& range);
    /// Counts the records overwritten between `tl`'s last upload and the first page read after it.
    static void countOverwritten(TrendLog& tl, const Client::ReadRangeAck::Result& firstPage);
    /// Keeps `page` of a trend log that is not being written: in memory while the cap allows, else in
    /// the spool when it takes it, else in memory all the same (it was asked for).
    KeptPage keep(Client::ReadRangeAck::Result page, bool current);
    /// True when a page of a trend log that is not being written may be asked for.
    bool hasRoomAhead();
    bool deviceBusy(Poco::UInt32 deviceInstance) const;
    static std::size_t estimatedBytes(const Client::ReadRangeAck::Result& page);

    Client::ServiceHelper& _services;
    const Limits _limits;
    std::vector<std::unique_ptr<TrendLog>> _trendLogs;
    std::size_t _keptBytes = 0;
    std::unique_ptr<PageSpool> _pSpool;
    /// The devices with a request on its way (at most one each).
    std::unordered_set<Poco::UInt32> _busyDevices;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
