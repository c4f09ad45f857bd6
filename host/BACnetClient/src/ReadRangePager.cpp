#include "Orvik_BACnetClient/ReadRangePager.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::Client
{

ReadRangePager::ReadRangePager(ServiceHelper& services, const DataPropertyKey& key,
                               const ReadRange::Range& first)
    : _services(services), _key(key), _range(first)
{
}

Poco::UInt32 ReadRangePager::nextSequenceNumber(Poco::UInt32 sequenceNumber)
{
    return sequenceNumber == 0xFFFFFFFF ? 1 : sequenceNumber + 1;
}

void ReadRangePager::request()
{
    if (_requestId == 0 && !_ended && _violation.empty())
    {
        _requestId = _services.asyncRR(_key, _range);
    }
}

ReadRangePager::Outcome ReadRangePager::next(ReadRangeAck::Result& page, DataError* pError)
{
    if (!_violation.empty())
    {
        _ended = true;
        const std::string violation = std::move(_violation);
        _violation.clear();
        throw Poco::ProtocolException(violation);
    }
    request();
    if (_requestId == 0)
    {
        page = ReadRangeAck::Result();
        return ENDED;
    }
    const Poco::UInt32 requestId = _requestId;
    _requestId = 0;
    switch (_services.awaitRR(requestId, page, pError))
    {
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            continueAfter(page);
            return PAGE;
        case ServiceHelper::SYNC_RESULT_FAIL:
            _ended = true;
            return FAILED;
        default:
            _ended = true;
            return STOPPED;
    }
}

void ReadRangePager::continueAfter(const ReadRangeAck::Result& page)
{
    _ended = true;
    if (!page.hasMoreItems() || _range.count < 0)
    {
        return;
    }
    if (page.itemCnt == 0)
    {
        _ended = false;
        _violation = "trend log reports more records but sent none";
        return;
    }
    if (page.firstSequenceNumber != 0)
    {
        _range.requestType = ReadRange::RT_BY_SEQUENCE;
        _range.refSeqNum = nextSequenceNumber(page.firstSequenceNumber + page.itemCnt - 1);
    }
    else if (_range.requestType == ReadRange::RT_BY_POSITION)
    {
        _range.refIndex += page.itemCnt;
    }
    else
    {
        _ended = false;
        _violation = "trend log reports more records but sends no sequence numbers";
        return;
    }
    if (page.itemCnt >= static_cast<Poco::UInt32>(_range.count))
    {
        return;  // the requested count is spent
    }
    _range.count -= static_cast<Poco::Int32>(page.itemCnt);
    _ended = false;
}

}  // namespace Orvik::BACnet::Client
