#include "Orvik_ZARoveDore/Demo/AppRR.h"

#include <Poco/DateTime.h>
#include <Poco/LocalDateTime.h>
#include <Poco/Thread.h>

#include <iostream>
#include <sstream>

#include "Orvik_BACnetClient/ReadRangePager.h"

namespace Orvik::BACnet::App
{

namespace
{

/// The first page asks for the records after this time: 2000-01-01 00:00:00 UTC, in local time.
DataType::BACnetDateTime startTime()
{
    return DataType::BACnetDateTime(Poco::LocalDateTime(Poco::DateTime(2000, 1, 1, 0, 0, 0, 0, 0)));
}

}  // namespace

AppRR::AppRR(Poco::Int32 aIdAppInstance, long startDelayMs)
    : AppBase(aIdAppInstance), _startDelayMs(startDelayMs)
{
}

bool AppRR::descRun()
{
    const Client::DataPropertyKey key(deviceObjectInstance,
                                      DataType::ObjectIdentifier(OBJECT_TRENDLOG, _TREND_LOG_INSTANCE),
                                      Client::DataPropertyRef(PROP_LOG_BUFFER));
    Client::ReadRange::Range range;
    range.requestType = Client::ReadRange::RT_BY_TIME;
    range.refTime = startTime();
    range.count = _REQUEST_COUNT;
    Client::ReadRangePager pager(*this, key, range);
    Poco::Thread::sleep(_startDelayMs);
    std::cout << "RR REQUEST SENT-->\n" << std::flush;
    while (!pager.isEnded())
    {
        Client::ReadRangeAck::Result values;
        DataError error;
        const Client::ReadRangePager::Outcome outcome = pager.next(values, &error);
        std::cout << "<--RR RESPONSE\n" << std::flush;
        if (outcome == Client::ReadRangePager::STOPPED)
        {
            return false;  // a stopping app ends at once
        }
        if (outcome == Client::ReadRangePager::PAGE)
        {
            printResult(key, values);
        }
        else
        {
            printError(std::cerr, error, "\t");
        }
    }
    return false;
}

void AppRR::printResult(const Client::DataPropertyKey& key, const Client::ReadRangeAck::Result& values) const
{
    // Apps print side by side: the block goes out in one write.
    std::ostringstream out;
    out << '\n' << appName() << ", Device: " << key.deviceInstance << '\n';
    printObjectHeader(out, key.objectIdentifier, "\t");
    printPropertyHeader(out, key.getObjectType(), key.propertyRef, "\t\t");
    printPropertyValue(out, values.value, "\t\t\t");
    std::cout << out.str() << std::flush;
}

const std::string& AppRR::appName() const
{
    static const std::string name = "AppRR";
    return name;
}

}  // namespace Orvik::BACnet::App
