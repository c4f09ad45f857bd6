#include "Orvik_ZARoveDore/Demo/AppRR.h"

#include <Poco/DateTime.h>
#include <Poco/LocalDateTime.h>
#include <Poco/Thread.h>

#include <iostream>

namespace Orvik::BACnet::App
{

namespace
{

/// Milliseconds between the app's start and its first request.
const long START_DELAY_MS = 2000;

/// The first page asks for the records after this time: 2000-01-01 00:00:00 UTC, in local time.
DataType::BACnetDateTime startTime()
{
    return DataType::BACnetDateTime(Poco::LocalDateTime(Poco::DateTime(2000, 1, 1, 0, 0, 0, 0, 0)));
}

}  // namespace

AppRR::AppRR(Poco::Int32 aIdAppInstance) : AppBase(aIdAppInstance) {}

bool AppRR::descRun()
{
    const Client::DataPropertyKey key(deviceObjectInstance,
                                      DataType::ObjectIdentifier(OBJECT_TRENDLOG, _TREND_LOG_INSTANCE),
                                      Client::DataPropertyRef(PROP_LOG_BUFFER));
    Client::ReadRange::Range range;
    range.requestType = Client::ReadRange::RT_BY_TIME;
    range.refTime = startTime();
    range.count = _REQUEST_COUNT;
    Poco::Thread::sleep(START_DELAY_MS);
    std::cout << "RR REQUEST SENT-->\n" << std::flush;
    for (;;)
    {
        Client::ReadRangeAck::Result values;
        DataError error;
        const SyncReslut result = syncRR(key, range, values, &error);
        std::cout << "<--RR RESPONSE\n" << std::flush;
        if (result == SYNC_RESULT_STOP)
        {
            return false;  // a stopping app ends at once
        }
        if (result == SYNC_RESULT_SUCCESS)
        {
            printResult(key, values);
        }
        else
        {
            printError(std::cerr, error, "\t");
        }
        if (!nextPage(range, values))
        {
            return false;
        }
    }
}

bool AppRR::nextPage(Client::ReadRange::Range& range, const Client::ReadRangeAck::Result& values)
{
    if ((values.resultFlags & moreDataMask) == 0)
    {
        return false;
    }
    // A page without records gives nothing to page on: asking again would repeat the same request.
    if (values.itemCnt == 0)
    {
        return false;
    }
    if (range.requestType == Client::ReadRange::RT_BY_TIME)
    {
        range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
        range.refSeqNum = values.firstSequenceNumber + values.itemCnt;
    }
    else
    {
        range.refSeqNum += values.itemCnt;
    }
    range.count -= static_cast<Poco::Int32>(values.itemCnt);
    // The request count is spent: the app reads at most _REQUEST_COUNT records in all.
    return range.count > 0;
}

void AppRR::printResult(const Client::DataPropertyKey& key, const Client::ReadRangeAck::Result& values) const
{
    std::cout << std::endl << appName() << ", Device: " << key.deviceInstance << std::endl;
    printObjectHeader(std::cout, key.objectIdentifier, "\t");
    printPropertyHeader(std::cout, key.getObjectType(), key.propertyRef, "\t\t");
    printPropertyValue(std::cout, values.value, "\t\t\t");
}

const std::string& AppRR::appName() const
{
    static const std::string name = "AppRR";
    return name;
}

}  // namespace Orvik::BACnet::App
