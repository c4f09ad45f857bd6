#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterReader.h"

#include <Poco/Exception.h>

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using WS::MarkupFactory;
using Names = PusherParameterNames;

namespace
{

/// A parameter that holds no value at all, or only a BACnet NULL.
bool isNullValue(const ValueContainer& value)
{
    return value.isNull() || (value.size() == 1 && value.at(0).isNull());
}

}  // namespace

PusherParameterReader::PusherParameterReader(DataSendLog& sendLog, DataFtpServer& ftp,
                                             DataWhichTrendLogs& whichTrendLogs, UploadSchedule& schedule,
                                             PositionStore& positions, Report report)
    : _sendLog(sendLog),
      _ftp(ftp),
      _whichTrendLogs(whichTrendLogs),
      _schedule(schedule),
      _positions(positions),
      _report(std::move(report))
{
}

void PusherParameterReader::read(const std::vector<ValueContainer>& properties,
                                 const std::function<void()>& checkUploadTarget)
{
    if (properties.size() < _PARAMETER_COUNT)
    {
        throw Poco::InvalidArgumentException("To few App parameters", 0);
    }
    readDocument(properties);
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
        checkUploadTarget();
    }
    catch (const Poco::InvalidArgumentException& e)
    {
        _report(e.message() + "; the app does not start");
        throw;
    }
    readTrendLogs(properties);
}

void PusherParameterReader::readDocument(const std::vector<ValueContainer>& properties)
{
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
}

void PusherParameterReader::readSchedule(const std::vector<ValueContainer>& properties)
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

void PusherParameterReader::readTrendLogs(const std::vector<ValueContainer>& properties)
{
    _whichTrendLogs.collectTrendLogs = static_cast<DataWhichTrendLogs::WhereFromToCollect>(
        unsignedParameter(properties, Names::_TREND_LOGS_FROM, DataWhichTrendLogs::FROM_PARAMETER_LIST,
                          " (parameter list only)"));
    if (_whichTrendLogs.collectTrendLogs > DataWhichTrendLogs::FROM_NETWORK)
    {
        reportParameter(Names::_TREND_LOGS_FROM,
                        std::to_string(_whichTrendLogs.collectTrendLogs) +
                            " is no search mode (0 parameter list, 1 own device, 2 network)",
                        "2 (network)");
        _whichTrendLogs.collectTrendLogs = DataWhichTrendLogs::FROM_NETWORK;
    }
    _whichTrendLogs.refreshTrendlLogListIntervalMinutes =
        unsignedParameter(properties, Names::_SEARCH_INTERVAL, 0, " min");
    if (!isNullValue(properties[18]))
    {
        std::vector<PositionStore::Position> positions;
        _positions.initLoggers(properties[18].getValues(positions));
    }
    if (!isNullValue(properties[19]))
    {
        properties[19].getValues(_whichTrendLogs.blacklistLoggers);
    }
}

Poco::UInt32 PusherParameterReader::unsignedParameter(const std::vector<ValueContainer>& properties,
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

void PusherParameterReader::reportParameter(Poco::Int32 number, const std::string& problem,
                                            const std::string& used) const
{
    _report(PusherParameterNames::describe(number) + " " + problem + "; " + used + " is used instead");
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
