#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ExportDocumentWriter.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

#include <cstdio>
#include <memory>
#include <utility>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"
#include "Orvik_BACnetClient/ReadRangePager.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using Client::DataObjectKey;
using Client::DataPropertyKey;
using Client::ServiceHelper;
using WS::MarkupFactory;
using Position = DataTrendLog::Position;

namespace
{

const char* const _IP_SCRIPT = "$ZEPTA_SCRIPTS/general/orvik_get_ip.sh";
const char* const _APP_VERSION = "150928A";

/// Moves `last` to the last record of a page. Without a sequence number, a page whose records carry no
/// valid time cannot mark a position and leaves it.
void advancePosition(DataTrendLog::Position& last, const Client::ReadRangeAck::Result& values,
                     LocalTimeConverter& localTime)
{
    if (values.itemCnt == 0)
    {
        return;
    }
    const Poco::UInt32 sequenceNumber =
        values.firstSequenceNumber == 0 ? 0 : values.firstSequenceNumber + values.itemCnt - 1;
    const Poco::Timestamp time = values.value.getLastTimeStamp(&localTime);
    if (sequenceNumber != 0 || time != Poco::Timestamp(0))
    {
        last.setLastUploaded(time, sequenceNumber);
    }
}

/// The writer hands the upload stream 8 KiB chunks rather than a piece per markup call: the document is
/// only ever used whole, so the stream need not keep up with each call.
std::unique_ptr<MarkupFactory> createMarkupFactory(const DataSendLog& sendLog, std::ostream& os)
{
    if (sendLog.markupLanguage == MarkupFactory::JSON || sendLog.markupLanguage == MarkupFactory::JSONP)
    {
        return std::make_unique<WS::MarkupFactoryJSON>(
            os, sendLog.format, sendLog.textExtendEnumsAndBitStrings, MarkupFactory::HAND_OVER_IN_CHUNKS);
    }
    return std::make_unique<WS::MarkupFactoryXML>(os, sendLog.format, sendLog.textExtendEnumsAndBitStrings,
                                                  MarkupFactory::HAND_OVER_IN_CHUNKS);
}

}  // namespace

ExportDocumentWriter::ExportDocumentWriter(ServiceHelper& services, const DataSendLog& sendLog,
                                           DataDevice& thisDevice, std::vector<DataDevice>& devices,
                                           std::function<void()> pageWritten,
                                           std::function<void(const std::string&)> report,
                                           const TrendLogReadAhead::Limits& readAheadLimits)
    : _services(services),
      _sendLog(sendLog),
      _thisDevice(thisDevice),
      _devices(devices),
      _pageWritten(std::move(pageWritten)),
      _report(std::move(report)),
      _readAheadLimits(readAheadLimits)
{
}

bool ExportDocumentWriter::streamAll(std::ostream& os)
{
    bool result = true;
    try
    {
        std::unique_ptr<MarkupFactory> pMf = createMarkupFactory(_sendLog, os);
        MarkupFactory& mf = *pMf;
        mf.header();
        mf.markup(MarkupFactory::BT_STRUCT, "bacnet-2-cloud-trend-log", MarkupFactory::Options().open());
        mf.markup(MarkupFactory::BT_STRING, "app-version", _APP_VERSION,
                  MarkupFactory::Options().startArray());
        mf.markup(MarkupFactory::BT_STRING, "zumbra-user", _sendLog.serverUserId);
        mf.markup(MarkupFactory::BT_STRING, "site-identifier", _sendLog.siteIdentifier);
        mf.markup(MarkupFactory::BT_STRING, "site-name", _sendLog.siteName);
        mf.markup(MarkupFactory::BT_UNSIGNED, "parent-identifier",
                  Poco::NumberFormatter::format(_sendLog.parentIdentifier));
        const std::string address = readGatewayAddress();
        if (!address.empty())
        {
            mf.markup(MarkupFactory::BT_STRING, "ip-address", address);
        }
        mf.markup(MarkupFactory::BT_STRUCT, "app-device", MarkupFactory::Options().open());
        _thisDevice.markup(mf, false, true);
        mf.closeOpenMarkup();
        mf.markup(MarkupFactory::BT_LIST, "devices", MarkupFactory::Options().open());
        for (std::size_t i = 0; i < _devices.size(); ++i)
        {
            _devices[i].markup(mf, i == 0 && _devices.size() > 1, false);
        }
        mf.closeOpenMarkup();
        mf.markup(MarkupFactory::BT_LIST, "tl-data", MarkupFactory::Options().open());
        TrendLogReadAhead readAhead(_services, _readAheadLimits);
        std::vector<DataTrendLog*> trendLogs;
        for (DataDevice& device : _devices)
        {
            for (DataTrendLog& tl : device.trendLogs)
            {
                if (tl.loggerFound)
                {
                    readAhead.add(tl.objKey);
                    trendLogs.push_back(&tl);
                }
            }
        }
        Poco::UInt32 channelsId = 1;
        for (std::size_t index = 0; index < trendLogs.size(); ++index)
        {
            getAndStreamTrendLog(mf, *trendLogs[index], readAhead, index, channelsId);
        }
        mf.closeAllOpenMarkups();
        reportOverwritten(readAhead.overwritten());
    }
    catch (...)
    {
        result = false;
    }
    return result;
}

std::string ExportDocumentWriter::readGatewayAddress() const
{
    char termOutput[256] = "";
    try
    {
        FILE* pipe = ::popen(_IP_SCRIPT, "r");
        if (pipe != nullptr)
        {
            if (std::fgets(termOutput, 255, pipe) == nullptr)
            {
                termOutput[0] = '\0';
            }
            ::pclose(pipe);
        }
    }
    catch (...)
    {
        // Without an address the document leaves "ip-address" out.
    }
    return termOutput;
}

void ExportDocumentWriter::reportOverwritten(
    const std::vector<TrendLogReadAhead::Overwritten>& overwritten) const
{
    if (overwritten.empty())
    {
        return;
    }
    // One line per document however many logs wrapped; the first few are named.
    const std::size_t NAMED = 5;
    Poco::UInt64 total = 0;
    std::string named;
    for (std::size_t i = 0; i < overwritten.size(); ++i)
    {
        total += overwritten[i].records;
        if (i < NAMED)
        {
            const Position& position = overwritten[i].position;
            named += (i == 0 ? "" : ", ") + position.getDeviceIdentifier().toString() + "/" +
                     position.getObjectIdentifier().toString() + " " + std::to_string(overwritten[i].records);
        }
    }
    if (overwritten.size() > NAMED)
    {
        named += ", and " + std::to_string(overwritten.size() - NAMED) + " more";
    }
    const std::string logs = overwritten.size() == 1 ? " trend log" : " trend logs";
    _report(std::to_string(total) +
            " records were overwritten on their devices before they could be uploaded, in " +
            std::to_string(overwritten.size()) + logs + " (" + named +
            "): the logs wrap faster than the upload period; the upload goes on from the oldest record each "
            "holds");
}

void ExportDocumentWriter::getAndStreamTrendLog(MarkupFactory& mf, DataTrendLog& tl,
                                                TrendLogReadAhead& readAhead, std::size_t index,
                                                Poco::UInt32& channelsId)
{
    Position last = tl.objKey;
    Client::ReadRangeAck::Result values;
    for (;;)
    {
        DataError error;
        switch (readAhead.next(index, values, &error))
        {
            case Client::ReadRangePager::PAGE:
                break;
            case Client::ReadRangePager::ENDED:
                tl.objKey = last;
                return;
            case Client::ReadRangePager::FAILED:
                // A failed page ends the document: its records cannot be skipped.
                throw Poco::NotImplementedException(error.getString(), 0);
            default:
                // The app is being stopped: the document ends here, incomplete, and is discarded.
                throw Poco::RuntimeException("stop requested while reading trend log records");
        }
        markupTrendLog(mf, tl, values, channelsId);
        advancePosition(last, values, _localTime);
        _pageWritten();
    }
}

void ExportDocumentWriter::markupTrendLog(MarkupFactory& mf, const DataTrendLog& tl,
                                          const Client::ReadRangeAck::Result& values,
                                          Poco::UInt32& channelsId) const
{
    mf.markup(MarkupFactory::BT_LIST, Poco::NumberFormatter::format(channelsId),
              MarkupFactory::Options().open());
    ++channelsId;
    for (std::size_t k = 0; k < tl.channels.size(); ++k)
    {
        const DataChannel& channel = tl.channels[k];
        mf.markup(MarkupFactory::BT_STRUCT, Poco::NumberFormatter::format(k + 1),
                  MarkupFactory::Options().open().startArray(k == 0 && tl.channels.size() > 1));
        std::string hexIdentifier;
        mf.markup(MarkupFactory::BT_OCTET_STRING, "unique-idetnifier",
                  channel.propRef.getHexIdentifier(channel.parentDeviceIdentifier, hexIdentifier));
        values.value.markup(mf, "values", false, BACNET_DT_NULL);
        mf.closeOpenMarkup();
    }
    mf.closeOpenMarkup();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
