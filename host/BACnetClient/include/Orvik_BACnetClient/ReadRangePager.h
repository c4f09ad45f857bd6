#pragma once

#include <Poco/Types.h>

#include <string>

#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_BACnetClient/ServiceHelper.h"

namespace Orvik::BACnet::Client
{

/// Reads a list property (a trend log's log buffer) page by page with ReadRange, each page asking for
/// the records after the last one of the page before, until the device says no more records follow
/// or the requested count is spent.
///
/// The rule for the next page, the same for every caller:
///   - a page whose records carry sequence numbers continues by sequence number after its last record
///     (4294967295 is followed by 1); a read by position without sequence numbers continues at the
///     position after its last record;
///   - a page that says more records follow but carries none, or a read by time whose records carry no
///     sequence numbers, gives nothing to continue from: asking again would repeat the same request
///     for ever, and stopping would pass over the records the device says it has. Such a page is
///     handed out like any other; the next call of next() throws Poco::ProtocolException, naming what
///     the device did, and the pager ends.
///   - a failed page or a stop request ends the paging (FAILED, STOPPED).
/// Only forward reads page (a positive count); a read back from the reference (negative count) gives
/// one page.
///
/// The pager asks for a page without waiting (request()), so that a caller may have the next page on
/// its way while it handles the current one, and waits for it in next(). It runs on the requester's
/// thread (the blocking wait of ServiceHelper); the requester is not owned and must outlive it.
class ReadRangePager
{
public:
    enum Outcome
    {
        PAGE,     ///< a page is in the result; more may follow (see isEnded())
        FAILED,   ///< the request failed; the error says why. The pager has ended.
        STOPPED,  ///< the requester was told to stop while it waited. The pager has ended.
        ENDED     ///< no page was asked for: the last page has been read
    };

    /// The first page is `first`; nothing is requested yet.
    ReadRangePager(ServiceHelper& services, const DataPropertyKey& key, const ReadRange::Range& first);

    /// Posts the request of the next page unless it is on its way already or the paging has ended.
    void request();
    /// Takes the next page (requesting it first when request() was not called), and works out the
    /// range of the page after it. Throws Poco::ProtocolException as the class comment says.
    Outcome next(ReadRangeAck::Result& page, DataError* pError = nullptr);
    /// True when no page follows the last one taken (false while next() has an error to throw).
    bool isEnded() const { return _ended; }
    /// The request id of the page on its way (ServiceHelper::awaitAnyReply()); 0 when none is.
    Poco::UInt32 pendingRequest() const { return _requestId; }

    /// The sequence number that follows `sequenceNumber`: devices number records from 1 and wrap from
    /// 4294967295 to 1.
    static Poco::UInt32 nextSequenceNumber(Poco::UInt32 sequenceNumber);

private:
    /// Sets the range of the page after `page`, or ends the paging.
    void continueAfter(const ReadRangeAck::Result& page);

    ServiceHelper& _services;
    const DataPropertyKey _key;
    ReadRange::Range _range;
    Poco::UInt32 _requestId = 0;  ///< the request on its way; 0: none
    bool _ended = false;
    std::string _violation;  ///< what the last page did that gives nothing to continue from
};

}  // namespace Orvik::BACnet::Client
