#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <iostream>

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using WS::MarkupFactory;
using Position = DataTrendLog::Position;
using Names = PusherParameterNames;

namespace
{

const Poco::Int32 _PARAMETER_COUNT = 20;
/// Longest single wait on the queue: fits a 32-bit long, and re-reads the wall clock now and then.
const Poco::Int64 _MAX_WAIT_PART_MILLISECONDS = 3600000;

std::string printable(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        const auto octet = static_cast<unsigned char>(c);
        if (octet < 0x20 || octet == 0x7F)
        {
            out += "\\x";
            Poco::NumberFormatter::appendHex(out, octet, 2);
        }
        else
        {
            out += c;
        }
    }
    return out;
}

/// A parameter that holds no value at all, or only a BACnet NULL.
bool isNullValue(const ValueContainer& value)
{
    return value.isNull() || (value.size() == 1 && value.at(0).isNull());
}

}  // namespace

AppTrendLogPusher::AppTrendLogPusher(Poco::Int32 idAppInstance, const DataPusherTimings& timings)
    : AppBase(idAppInstance),
      _thisDevice(getBACnetServerDeviceInstance()),
      _timings(timings),
      _positions(_devices, idAppInstance),
      _discovery(*this, _devices, _whichTrendLogs, _positions, getBACnetServerDeviceInstance()),
      _writer(*this, _sendLog, _thisDevice, _devices),
      _upload(_ftp, _sendLog.fileNameInitials, _timings)
{
}

AppTrendLogPusher::~AppTrendLogPusher() = default;

bool AppTrendLogPusher::descRun()
{
    Poco::Thread::sleep(_timings.startDelayMs);
    initialise();
    while (waitForNextAttempt())
    {
        runAttempt();
    }
    return false;
}

void AppTrendLogPusher::initialise()
{
    getParameters();
    _discovery.collectDevice(_thisDevice);
    if (_whichTrendLogs.collectTrendLogs != FROM_PARAMETER_LIST)
    {
        _discovery.collectTrendLogs();
    }
}

bool AppTrendLogPusher::waitForNextAttempt()
{
    // The due time is fixed when the wait begins. Recomputing it after each notification (the
    // supervisor's sanity requests come every few seconds) would push an attempt whose offset point
    // lies just after a period boundary, or a retry, into the future again and again.
    const Poco::Timestamp due = _schedule.nextAttempt(Poco::Timestamp());
    for (;;)
    {
        const Poco::Timestamp now;
        if (now >= due)
        {
            return true;
        }
        const Poco::Int64 remaining = (due - now + 999) / 1000;
        Poco::AutoPtr<Poco::Notification> pNf =
            waitDequeueNotification(static_cast<long>(std::min(remaining, _MAX_WAIT_PART_MILLISECONDS)));
        if (pNf.isNull())
        {
            continue;
        }
        if (handleNotification(pNf))
        {
            return false;
        }
    }
}

void AppTrendLogPusher::runAttempt()
{
    _schedule.attemptEnded(createAndSendFiles());
    if (_discovery.isRefreshDue())
    {
        _discovery.collectTrendLogs();
    }
}

bool AppTrendLogPusher::createAndSendFiles()
{
    try
    {
        _upload.send(
            Poco::Timestamp(), [this](std::ostream& os) { return _writer.streamAll(os); },
            [this](bool complete)
            {
                if (complete)
                {
                    _positions.dbUpdateLastRetrievedTimestamps();
                }
                else
                {
                    _positions.dbGetLastRetrievedTimestamps();
                }
            });
        return true;
    }
    catch (const Poco::Exception& e)
    {
        reportUploadFailure(e.displayText());
    }
    catch (const std::exception& e)
    {
        reportUploadFailure(e.what());
    }
    return false;
}

bool AppTrendLogPusher::streamAll(std::ostream& os)
{
    return _writer.streamAll(os);
}

Poco::Int32 AppTrendLogPusher::getTimoutMilliseconds() const
{
    return _schedule.millisecondsUntilNextAttempt(Poco::Timestamp());
}

// ---- parameters ----------------------------------------------------------------------------------

void AppTrendLogPusher::getParameters()
{
    std::vector<ValueContainer> properties;
    getProperties(properties);
    std::cout << "AppTrendLogPusher: properties.size()=" << properties.size() << std::endl;
    if (properties.size() < static_cast<std::size_t>(_PARAMETER_COUNT))
    {
        throw Poco::InvalidArgumentException("To few App parameters", 0);
    }
    _sendLog.parentIdentifier = unsignedParameter(properties, Names::_PARENT_IDENTIFIER, 0, "");
    _sendLog.siteIdentifier = properties[1].getCharString();
    _sendLog.siteName = properties[2].getCharString();
    _sendLog.fileNameInitials = properties[3].getCharString();
    _sendLog.serverUserId = properties[4].getCharString();
    _sendLog.markupLanguage = static_cast<MarkupFactory::MarkupLanguage>(
        unsignedParameter(properties, Names::_MARKUP_LANGUAGE, MarkupFactory::XML, " (XML)"));
    if (_sendLog.markupLanguage != MarkupFactory::XML && _sendLog.markupLanguage != MarkupFactory::JSON &&
        _sendLog.markupLanguage != MarkupFactory::JSONP)
    {
        // The document is written in XML or JSON only.
        reportParameter(
            Names::_MARKUP_LANGUAGE,
            std::to_string(_sendLog.markupLanguage) + " is no document language (0 XML, 1 JSON, 3 JSONP)",
            "0 (XML)");
        _sendLog.markupLanguage = MarkupFactory::XML;
    }
    DataType::BitString flags(2);
    properties[6].getBitString(flags);
    _sendLog.textExtendEnumsAndBitStrings = flags.getBit(0);
    _sendLog.format = flags.getBit(1);
    readSchedule(properties);
    DataType::BitString pushMethod(1);
    properties[11].getBitString(pushMethod);
    _sendLog.pushMethod = pushMethod.getOctets().getUInt32(0, true) & 3;
    _ftp.serverURL = properties[12].getString(", ");
    _ftp.userId = properties[13].getString(", ");
    _ftp.password = properties[14].getString(", ");
    _ftp.directory = properties[15].getString(", ");
    try
    {
        _upload.checkUploadTarget();
    }
    catch (const Poco::InvalidArgumentException& e)
    {
        printMessage(e.message() + "; the app does not start");
        throw;
    }
    _whichTrendLogs.collectTrendLogs = static_cast<WhereFromToCollect>(unsignedParameter(
        properties, Names::_TREND_LOGS_FROM, FROM_PARAMETER_LIST, " (parameter list only)"));
    if (_whichTrendLogs.collectTrendLogs > FROM_NETWORK)
    {
        reportParameter(Names::_TREND_LOGS_FROM,
                        std::to_string(_whichTrendLogs.collectTrendLogs) +
                            " is no search mode (0 parameter list, 1 own device, 2 network)",
                        "2 (network)");
        _whichTrendLogs.collectTrendLogs = FROM_NETWORK;
    }
    _whichTrendLogs.refreshTrendlLogListIntervalMinutes =
        unsignedParameter(properties, Names::_SEARCH_INTERVAL, 0, " min");
    if (!isNullValue(properties[18]))
    {
        std::vector<Position> positions;
        _positions.initLoggers(properties[18].getValues(positions));
    }
    if (!isNullValue(properties[19]))
    {
        properties[19].getValues(_whichTrendLogs.blacklistLoggers);
    }
}

void AppTrendLogPusher::readSchedule(const std::vector<ValueContainer>& properties)
{
    _sendLog.periodicityMinutes = unsignedParameter(properties, Names::_PERIOD, 1, " min");
    if (_sendLog.periodicityMinutes == 0)
    {
        reportParameter(Names::_PERIOD, "0 is no period", "1 min");
        _sendLog.periodicityMinutes = 1;
    }
    _sendLog.secondsOffset = unsignedParameter(properties, Names::_OFFSET, 0, " s");
    if (_sendLog.secondsOffset / 60 >= _sendLog.periodicityMinutes)
    {
        const Poco::UInt32 offset = _sendLog.periodicityMinutes * 60 - 1;
        reportParameter(Names::_OFFSET,
                        std::to_string(_sendLog.secondsOffset) + " s is not below the period of " +
                            std::to_string(offset + 1) + " s",
                        std::to_string(offset) + " s");
        _sendLog.secondsOffset = offset;
    }
    _sendLog.retryWhenFailureCnt = unsignedParameter(properties, Names::_RETRY_COUNT, 0, " (no retries)");
    _sendLog.retryWhenFailureMinutes = unsignedParameter(properties, Names::_RETRY_WAIT, 0, " min");
    const Poco::UInt32 retries = _sendLog.retryWhenFailureCnt;
    _sendLog.retryWhenFailureCnt = UploadSchedule::retriesThatFit(_sendLog.periodicityMinutes,
                                                                  _sendLog.retryWhenFailureMinutes, retries);
    if (_sendLog.retryWhenFailureCnt != retries)
    {
        reportParameter(Names::_RETRY_COUNT,
                        std::to_string(retries) + " retries " +
                            std::to_string(_sendLog.retryWhenFailureMinutes) +
                            " min apart do not fit into the period of " +
                            std::to_string(_sendLog.periodicityMinutes) + " min",
                        std::to_string(_sendLog.retryWhenFailureCnt));
    }
    _schedule = UploadSchedule(_sendLog.periodicityMinutes, _sendLog.secondsOffset,
                               _sendLog.retryWhenFailureMinutes, _sendLog.retryWhenFailureCnt);
}

Poco::UInt32 AppTrendLogPusher::unsignedParameter(const std::vector<ValueContainer>& properties,
                                                  Poco::Int32 number, Poco::UInt32 fallback,
                                                  const std::string& fallbackNote) const
{
    // A stored text that is no unsigned number (a negative number, a word) reads as no value.
    const ValueContainer& value = properties[static_cast<std::size_t>(number - 1)];
    if (!isNullValue(value))
    {
        return value.getUInt();
    }
    reportParameter(number, "is no unsigned number", std::to_string(fallback) + fallbackNote);
    return fallback;
}

void AppTrendLogPusher::reportParameter(Poco::Int32 number, const std::string& problem,
                                        const std::string& used) const
{
    printMessage(PusherParameterNames::describe(number) + " " + problem + "; " + used + " is used instead");
}

void AppTrendLogPusher::reportUploadFailure(const std::string& reason)
{
    printMessage("FTP upload exited with exception, server " + _ftp.serverURL + ": " + reason);
    // The document may have advanced the positions without the server confirming it.
    _positions.reloadAfterFailure();
}

void AppTrendLogPusher::printMessage(const std::string& text) const
{
    std::cout << printable("AppTrendLogPusher(" + std::to_string(idAppInstance) + "): " + text) << std::endl;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
