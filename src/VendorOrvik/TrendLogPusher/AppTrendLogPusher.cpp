#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"

#include <Poco/DateTimeFormat.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/SocketStream.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/Net/StreamSocketImpl.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Thread.h>
#include <Poco/URI.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <limits>
#include <memory>

#include "Orvik_BACnet/DataType/BACnetDateTime.h"
#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_BACnet/WS/MarkupFactoryJSON.h"
#include "Orvik_BACnet/WS/MarkupFactoryXML.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/ReadRange.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using Client::DataObjectKey;
using Client::DataPropertyKey;
using Client::DataPropertyRef;
using Client::DataResponseRPM;
using Client::NotificationRequestRPM;
using Client::ServiceHelper;
using DataType::BACnetDeviceObjectPropertyReference;
using DataType::BACnetDeviceObjectReference;
using DataType::ObjectIdentifier;
using WS::MarkupFactory;
using Position = DataTrendLog::Position;

namespace
{

const Poco::Int32 _PARAMETER_COUNT = 20;
const Poco::UInt32 _ALL_ELEMENTS = 0xFFFFFFFF;
const Poco::Int32 _RECORD_COUNT = 134217727;
const Poco::Int64 _MICROSECONDS_PER_SECOND = 1000000;
const Poco::Int64 _MICROSECONDS_PER_MINUTE = 60 * _MICROSECONDS_PER_SECOND;
/// Longest single wait on the queue: fits a 32-bit long, and re-reads the wall clock now and then.
const Poco::Int64 _MAX_WAIT_PART_MILLISECONDS = 3600000;
const char* const _IP_SCRIPT = "$ZEPTA_SCRIPTS/general/orvik_get_ip.sh";
const char* const _APP_VERSION = "150928A";

/// The parameter numbers that console messages name (ap_app_property.id).
enum ParameterNumber : Poco::Int32
{
    _PARENT_IDENTIFIER = 1,
    _FILE_NAME_INITIALS = 4,
    _MARKUP_LANGUAGE = 6,
    _PERIOD = 8,
    _OFFSET = 9,
    _RETRY_COUNT = 10,
    _RETRY_WAIT = 11,
    _FTP_SERVER = 13,
    _FTP_USER = 14,
    _FTP_PASSWORD = 15,
    _FTP_DIRECTORY = 16,
    _TREND_LOGS_FROM = 17,
    _SEARCH_INTERVAL = 18
};

/// "parameter <number> (<name>)", as the configuration tools list the pusher's parameters.
std::string parameterText(Poco::Int32 number)
{
    static const char* const names[] = {"",
                                        "parent identifier",
                                        "site identifier",
                                        "site name",
                                        "file name initials",
                                        "server user id",
                                        "markup language",
                                        "markup flags",
                                        "period",
                                        "offset",
                                        "retry count",
                                        "retry wait",
                                        "push method",
                                        "FTP server",
                                        "FTP user",
                                        "FTP password",
                                        "FTP directory",
                                        "trend logs from",
                                        "search interval"};
    return "parameter " + std::to_string(number) + " (" + names[number] + ")";
}

[[noreturn]] void refuseParameter(Poco::Int32 number, const std::string& reason)
{
    throw Poco::InvalidArgumentException(parameterText(number) + " " + reason);
}

/// A text that is sent in an FTP command must not end the command early: CR and LF would start a
/// command of their own on the server, NUL cuts the command short.
void refuseLineBreaks(Poco::Int32 number, const std::string& text)
{
    if (text.find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
    {
        refuseParameter(number, "contains CR, LF or NUL, which would end the FTP command it is sent in");
    }
}

/// `text` with every control character written as \xHH, so that a console message stays one line.
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

std::vector<DataPropertyRef> wholeProperties(std::initializer_list<BACNET_PROPERTY_ID> propertyIdentifiers)
{
    std::vector<DataPropertyRef> refs;
    for (BACNET_PROPERTY_ID propertyIdentifier : propertyIdentifiers)
    {
        refs.emplace_back(propertyIdentifier);
    }
    return refs;
}

/// A parameter that holds no value at all, or only a BACnet NULL.
bool isNullValue(const ValueContainer& value)
{
    return value.isNull() || (value.size() == 1 && value.at(0).isNull());
}

/// Takes over the values of one object of a ReadPropertyMultiple reply with `set`. A value that carries
/// an error, or that does not fit its field, ends the reading (false) when its property is required
/// and is skipped otherwise.
template <class IsRequired, class Setter>
bool takeOverValues(const DataResponseRPM& object, IsRequired isRequired, Setter set)
{
    for (const DataResponseRPM::Value& entry : object.values)
    {
        const BACNET_PROPERTY_ID propertyIdentifier = entry.propertyRef.propertyIdentifier;
        bool taken = !entry.hasError();
        if (taken)
        {
            try
            {
                set(propertyIdentifier, entry.value);
            }
            catch (const Poco::Exception&)
            {
                // A device that sends a value of the wrong type is treated like one that sends an error.
                taken = false;
            }
        }
        if (!taken && isRequired(propertyIdentifier))
        {
            return false;
        }
    }
    return true;
}

/// The sequence number that follows `sequenceNumber`: devices number records from 1 and wrap from
/// 4294967295 to 1.
Poco::UInt32 nextSequenceNumber(Poco::UInt32 sequenceNumber)
{
    return sequenceNumber == 0xFFFFFFFF ? 1 : sequenceNumber + 1;
}

/// Moves `last` to the last record of a page. Without a sequence number, a page whose records carry no
/// valid time cannot mark a position and leaves it.
void advancePosition(DataTrendLog::Position& last, const Client::ReadRangeAck::Result& values)
{
    if (values.itemCnt == 0)
    {
        return;
    }
    const Poco::UInt32 sequenceNumber =
        values.firstSequenceNumber == 0 ? 0 : values.firstSequenceNumber + values.itemCnt - 1;
    const Poco::Timestamp time = values.value.getLastTimeStamp();
    if (sequenceNumber != 0 || time != Poco::Timestamp(0))
    {
        last.setLastUploaded(time, sequenceNumber);
    }
}

/// Sets `range` to the records after the page `values`: by sequence number when the device numbers
/// its records, else (a read by position) by position.
void continueAfter(Client::ReadRange::Range& range, const Client::ReadRangeAck::Result& values)
{
    if (values.itemCnt == 0)
    {
        throw Poco::ProtocolException("trend log reports more records but sent none");
    }
    if (values.firstSequenceNumber != 0)
    {
        range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
        range.refSeqNum = nextSequenceNumber(values.firstSequenceNumber + values.itemCnt - 1);
    }
    else if (range.requestType == Client::ReadRange::RT_BY_POSITION)
    {
        range.refIndex += values.itemCnt;
    }
    else
    {
        throw Poco::ProtocolException("trend log reports more records but sends no sequence numbers");
    }
    range.count -= static_cast<Poco::Int32>(values.itemCnt);
}

/// Retries of one failure must fit within one period.
void limitRetries(AppTrendLogPusher::DataSendLog& sendLog)
{
    if (sendLog.retryWhenFailureCnt == 0)
    {
        return;
    }
    if (sendLog.periodicityMinutes <= sendLog.retryWhenFailureMinutes)
    {
        sendLog.retryWhenFailureCnt = 0;
    }
    else if (static_cast<Poco::UInt64>(sendLog.retryWhenFailureMinutes) * sendLog.retryWhenFailureCnt >=
             sendLog.periodicityMinutes)
    {
        sendLog.retryWhenFailureCnt = sendLog.periodicityMinutes / sendLog.retryWhenFailureMinutes;
    }
}

/// The writer hands the upload stream 8 KiB chunks rather than a piece per markup call: the document is
/// only ever used whole, so the stream need not keep up with each call.
std::unique_ptr<MarkupFactory> createMarkupFactory(const AppTrendLogPusher::DataSendLog& sendLog,
                                                   std::ostream& os)
{
    if (sendLog.markupLanguage == MarkupFactory::JSON || sendLog.markupLanguage == MarkupFactory::JSONP)
    {
        return std::make_unique<WS::MarkupFactoryJSON>(
            os, sendLog.format, sendLog.textExtendEnumsAndBitStrings, MarkupFactory::HAND_OVER_IN_CHUNKS);
    }
    return std::make_unique<WS::MarkupFactoryXML>(os, sendLog.format, sendLog.textExtendEnumsAndBitStrings,
                                                  MarkupFactory::HAND_OVER_IN_CHUNKS);
}

/// Closes the data connection of an upload that is not to be kept and removes its file, as far as
/// the session still allows. The connection is closed without ABOR: Poco's abort() leaves the session
/// waiting at close() for a transfer reply that servers do not send after ABOR, and some servers refuse
/// ABOR in this state. Under its temporary name the file is never taken for a whole document anyway.
void discardUpload(Poco::Net::FTPClientSession& session, const std::string& partName)
{
    try
    {
        session.endUpload();
    }
    catch (const Poco::Exception&)
    {
        // The server reports the broken transfer; that is expected here.
    }
    try
    {
        session.remove(partName);
    }
    catch (const Poco::Exception&)
    {
        // The connection is gone or the server kept no file: nothing more to do.
    }
}

/// Reads the server's greeting on the control connection; throws when the server refuses the session.
/// Poco's session could read it in its constructor, but would then leak the connection on a refusal.
void readGreeting(const Poco::Net::StreamSocket& socket, const Poco::Timespan& timeout)
{
    Poco::Net::DialogSocket dialog(socket);
    dialog.setReceiveTimeout(timeout);
    std::string greeting;
    const int status = dialog.receiveStatusMessage(greeting);
    if (status / 100 != 2)  // not a positive completion reply
    {
        throw Poco::Net::FTPException("Cannot receive status message", greeting, status);
    }
}

}  // namespace

const std::string AppTrendLogPusher::_PART_SUFFIX = ".part";

AppTrendLogPusher::AppTrendLogPusher(Poco::Int32 idAppInstance, const DataPusherTimings& timings)
    : AppBase(idAppInstance),
      _thisDevice(getBACnetServerDeviceInstance()),
      _sendToServerRetries(0),
      _timings(timings)
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
    collectDevice(_thisDevice);
    if (_whichTrendLogs.collectTrendLogs != FROM_PARAMETER_LIST)
    {
        collectTrendLogs();
    }
}

bool AppTrendLogPusher::waitForNextAttempt()
{
    Poco::Timestamp due = getNextAttemptTime(Poco::Timestamp());
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
        due = getNextAttemptTime(Poco::Timestamp());
    }
}

void AppTrendLogPusher::runAttempt()
{
    const bool ok = createAndSendFiles();
    if (ok || _sendToServerRetries >= _sendLog.retryWhenFailureCnt)
    {
        _sendToServerRetries = 0;
    }
    else
    {
        ++_sendToServerRetries;
    }
    if (_whichTrendLogs.collectTrendLogs != FROM_PARAMETER_LIST &&
        _whichTrendLogs.refreshTrendlLogListIntervalMinutes != 0 && Poco::Clock() > _nextTrendLogCollect)
    {
        collectTrendLogs();
    }
}

// ---- parameters and schedule -------------------------------------------------------------------

void AppTrendLogPusher::getParameters()
{
    std::vector<ValueContainer> properties;
    getProperties(properties);
    std::cout << "AppTrendLogPusher: properties.size()=" << properties.size() << std::endl;
    if (properties.size() < static_cast<std::size_t>(_PARAMETER_COUNT))
    {
        throw Poco::InvalidArgumentException("To few App parameters", 0);
    }
    _sendLog.parentIdentifier = unsignedParameter(properties, _PARENT_IDENTIFIER, 0, "");
    _sendLog.siteIdentifier = properties[1].getCharString();
    _sendLog.siteName = properties[2].getCharString();
    _sendLog.fileNameInitials = properties[3].getCharString();
    _sendLog.serverUserId = properties[4].getCharString();
    _sendLog.markupLanguage = static_cast<MarkupFactory::MarkupLanguage>(
        unsignedParameter(properties, _MARKUP_LANGUAGE, MarkupFactory::XML, " (XML)"));
    if (_sendLog.markupLanguage != MarkupFactory::XML && _sendLog.markupLanguage != MarkupFactory::JSON &&
        _sendLog.markupLanguage != MarkupFactory::JSONP)
    {
        // The document is written in XML or JSON only.
        reportParameter(
            _MARKUP_LANGUAGE,
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
        checkUploadTarget();
    }
    catch (const Poco::InvalidArgumentException& e)
    {
        printMessage(e.message() + "; the app does not start");
        throw;
    }
    _whichTrendLogs.collectTrendLogs = static_cast<WhereFromToCollect>(
        unsignedParameter(properties, _TREND_LOGS_FROM, FROM_PARAMETER_LIST, " (parameter list only)"));
    if (_whichTrendLogs.collectTrendLogs > FROM_NETWORK)
    {
        reportParameter(_TREND_LOGS_FROM,
                        std::to_string(_whichTrendLogs.collectTrendLogs) +
                            " is no search mode (0 parameter list, 1 own device, 2 network)",
                        "2 (network)");
        _whichTrendLogs.collectTrendLogs = FROM_NETWORK;
    }
    _whichTrendLogs.refreshTrendlLogListIntervalMinutes =
        unsignedParameter(properties, _SEARCH_INTERVAL, 0, " min");
    if (!isNullValue(properties[18]))
    {
        std::vector<Position> positions;
        initLoggers(properties[18].getValues(positions));
    }
    if (!isNullValue(properties[19]))
    {
        properties[19].getValues(_whichTrendLogs.blacklistLoggers);
    }
}

void AppTrendLogPusher::readSchedule(const std::vector<ValueContainer>& properties)
{
    _sendLog.periodicityMinutes = unsignedParameter(properties, _PERIOD, 1, " min");
    if (_sendLog.periodicityMinutes == 0)
    {
        reportParameter(_PERIOD, "0 is no period", "1 min");
        _sendLog.periodicityMinutes = 1;
    }
    _sendLog.secondsOffset = unsignedParameter(properties, _OFFSET, 0, " s");
    if (_sendLog.secondsOffset / 60 >= _sendLog.periodicityMinutes)
    {
        const Poco::UInt32 offset = _sendLog.periodicityMinutes * 60 - 1;
        reportParameter(_OFFSET,
                        std::to_string(_sendLog.secondsOffset) + " s is not below the period of " +
                            std::to_string(offset + 1) + " s",
                        std::to_string(offset) + " s");
        _sendLog.secondsOffset = offset;
    }
    _sendLog.retryWhenFailureCnt = unsignedParameter(properties, _RETRY_COUNT, 0, " (no retries)");
    _sendLog.retryWhenFailureMinutes = unsignedParameter(properties, _RETRY_WAIT, 0, " min");
    const Poco::UInt32 retries = _sendLog.retryWhenFailureCnt;
    limitRetries(_sendLog);
    if (_sendLog.retryWhenFailureCnt != retries)
    {
        reportParameter(_RETRY_COUNT,
                        std::to_string(retries) + " retries " +
                            std::to_string(_sendLog.retryWhenFailureMinutes) +
                            " min apart do not fit into the period of " +
                            std::to_string(_sendLog.periodicityMinutes) + " min",
                        std::to_string(_sendLog.retryWhenFailureCnt));
    }
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
    printMessage(parameterText(number) + " " + problem + "; " + used + " is used instead");
}

Poco::Timestamp AppTrendLogPusher::getNextAttemptTime(const Poco::Timestamp& now) const
{
    if (_sendToServerRetries != 0)
    {
        return now + static_cast<Poco::Int64>(_sendLog.retryWhenFailureMinutes) * _MICROSECONDS_PER_MINUTE;
    }
    const Poco::Int64 t = now.epochMicroseconds() / _MICROSECONDS_PER_SECOND;
    const Poco::Int64 period = static_cast<Poco::Int64>(_sendLog.periodicityMinutes) * 60;
    const Poco::Int64 next =
        (t / period) * period + static_cast<Poco::Int64>(_sendLog.secondsOffset) % period + period;
    return Poco::Timestamp(next * _MICROSECONDS_PER_SECOND);
}

Poco::Int32 AppTrendLogPusher::getTimoutMilliseconds()
{
    const Poco::Timestamp now;
    const Poco::Int64 milliseconds = (getNextAttemptTime(now) - now) / 1000;
    return static_cast<Poco::Int32>(
        std::min<Poco::Int64>(milliseconds, std::numeric_limits<Poco::Int32>::max()));
}

// ---- stored positions ----------------------------------------------------------------------------

DataDevice* AppTrendLogPusher::findDevice(Poco::UInt32 deviceInstance)
{
    auto it = std::find_if(_devices.begin(), _devices.end(),
                           [deviceInstance](const DataDevice& device)
                           { return device.deviceInstance == deviceInstance; });
    return it == _devices.end() ? nullptr : &*it;
}

void AppTrendLogPusher::initLoggers(std::vector<Position> positions)
{
    for (const Position& position : positions)
    {
        DataDevice* pDevice = findDevice(position.getDeviceInstance());
        if (pDevice == nullptr)
        {
            DataDevice device(position.getDeviceInstance());
            device.trendLogs.emplace_back(position);
            _devices.push_back(std::move(device));
            continue;
        }
        // Type and instance: a trend log and a trend log multiple of one device may share an instance,
        // and taking one's position for the other's would skip or repeat records.
        const ObjectIdentifier object = position.getObjectIdentifier();
        auto it = std::find_if(pDevice->trendLogs.begin(), pDevice->trendLogs.end(),
                               [&object](const DataTrendLog& tl)
                               { return tl.objKey.getObjectIdentifier() == object; });
        if (it == pDevice->trendLogs.end())
        {
            pDevice->trendLogs.emplace_back(position);
        }
        else
        {
            it->objKey.setLastUploaded(position.getTimeStamp(), position.getSequenceNumber());
        }
    }
}

void AppTrendLogPusher::getDevicesAsValueContainer(ValueContainer& out)
{
    std::vector<Position> positions;
    for (const DataDevice& device : _devices)
    {
        for (const DataTrendLog& tl : device.trendLogs)
        {
            positions.push_back(tl.objKey);
        }
    }
    out.setValues(positions);
}

void AppTrendLogPusher::dbUpdateLastRetrievedTimestamps()
{
    ValueContainer value;
    getDevicesAsValueContainer(value);
    dbUpdatePropertyInstance(idAppInstance, _PROPERTY_ID_LOGGERS, value, _ALL_ELEMENTS);
}

void AppTrendLogPusher::dbGetLastRetrievedTimestamps()
{
    // A trend log found by a search that then failed was never stored: its records were never
    // confirmed, so it starts from the beginning again rather than after an unconfirmed document.
    for (DataDevice& device : _devices)
    {
        for (DataTrendLog& tl : device.trendLogs)
        {
            tl.objKey.setLastUploaded(Poco::Timestamp(0), 0);
        }
    }
    ValueContainer stored;
    if (dbGetPropertyInstance(idAppInstance, _PROPERTY_ID_LOGGERS, stored) > 0 && !isNullValue(stored))
    {
        std::vector<Position> positions;
        initLoggers(stored.getValues(positions));
    }
}

void AppTrendLogPusher::reloadStoredPositionsAfterFailure()
{
    try
    {
        dbGetLastRetrievedTimestamps();
    }
    catch (const std::exception&)
    {
        // The positions were set back to the start before the read failed: the next document repeats
        // records instead of skipping any.
    }
}

// ---- search ------------------------------------------------------------------------------------

void AppTrendLogPusher::collectTrendLogs()
{
    Poco::Int32 found = 0;
    switch (_whichTrendLogs.collectTrendLogs)
    {
        case FROM_PARAMETER_LIST:
            return;
        case FROM_LOCAL_DEVICE:
            found = collectTrendLogsFromDevice(getBACnetServerDeviceInstance());
            break;
        default:
            found = collectNetworkedTrendLogs();
            break;
    }
    if (found > 0)
    {
        dbUpdateLastRetrievedTimestamps();
    }
    if (_whichTrendLogs.refreshTrendlLogListIntervalMinutes != 0)
    {
        _nextTrendLogCollect.update();
        _nextTrendLogCollect +=
            static_cast<Poco::Int64>(_whichTrendLogs.refreshTrendlLogListIntervalMinutes) *
            _MICROSECONDS_PER_MINUTE;
    }
}

Poco::Int32 AppTrendLogPusher::collectNetworkedTrendLogs()
{
    std::vector<Client::DataResponseWhoIs> responses;
    DataError error;
    // Instance 0 is a device like any other.
    if (syncWhoIs(DataType::BACnetAddress(), 0, ObjectIdentifier::_MAX_INSTANCE, responses, &error) !=
        ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return -1;
    }
    Poco::Int32 total = 0;
    for (const Client::DataResponseWhoIs& response : responses)
    {
        const Poco::Int32 found = collectTrendLogsFromDevice(response.deviceInstance);
        if (found < 0)
        {
            return found;
        }
        total += found;
    }
    return total;
}

Poco::Int32 AppTrendLogPusher::collectTrendLogsFromDevice(Poco::UInt32 deviceInstance)
{
    const ObjectIdentifier deviceIdentifier(OBJECT_DEVICE, deviceInstance);
    if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, deviceIdentifier)))
    {
        return 0;
    }
    DataDevice* pDevice = findDevice(deviceInstance);
    if (pDevice != nullptr)
    {
        pDevice->setLoggersFound(false);
    }
    ValueContainer objectList;
    DataError error;
    if (syncRP(DataPropertyKey(DataObjectKey(deviceInstance, deviceIdentifier), PROP_OBJECT_LIST), objectList,
               &error) != ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return -1;
    }
    std::unique_ptr<DataDevice> pNewDevice;
    Poco::Int32 found = 0;
    for (const BACnetValue& element : objectList.getBACnetPrimitives())
    {
        const ObjectIdentifier* pIdentifier = element.getIf<ObjectIdentifier>();
        if (pIdentifier == nullptr || (pIdentifier->getObjectType() != OBJECT_TRENDLOG &&
                                       pIdentifier->getObjectType() != OBJECT_TREND_LOG_MULTIPLE))
        {
            continue;
        }
        if (pDevice == nullptr)
        {
            pNewDevice = std::make_unique<DataDevice>(deviceInstance);
            pDevice = pNewDevice.get();
        }
        if (isBlackList(BACnetDeviceObjectReference(deviceIdentifier, *pIdentifier)))
        {
            continue;
        }
        const Poco::Int32 result =
            collectTrendLog(DataObjectKey(deviceInstance, *pIdentifier), pDevice->trendLogs);
        if (result < 0)
        {
            return -1;
        }
        if (result > 0)
        {
            ++found;
            if (!pNewDevice)
            {
                pDevice->props.systemStatus = MAX_DEVICE_STATUS;
            }
        }
    }
    if (pDevice != nullptr && pDevice->props.systemStatus >= MAX_DEVICE_STATUS && !collectDevice(*pDevice))
    {
        return -1;
    }
    if (pNewDevice)
    {
        _devices.push_back(std::move(*pNewDevice));
    }
    return found;
}

bool AppTrendLogPusher::collectDevice(DataDevice& device)
{
    const std::vector<NotificationRequestRPM::Parameter> request{NotificationRequestRPM::Parameter(
        ObjectIdentifier(OBJECT_DEVICE, device.deviceInstance),
        wholeProperties({PROP_SYSTEM_STATUS, PROP_VENDOR_NAME, PROP_VENDOR_IDENTIFIER, PROP_MODEL_NAME,
                         PROP_OBJECT_NAME, PROP_DESCRIPTION, PROP_LOCATION, PROP_LOCAL_DATE, PROP_LOCAL_TIME,
                         PROP_UTC_OFFSET, PROP_DAYLIGHT_SAVINGS_STATUS}))};
    std::vector<DataResponseRPM> responses;
    DataError error;
    if (syncRPM(device.deviceInstance, request, responses, &error) != ServiceHelper::SYNC_RESULT_SUCCESS ||
        responses.empty())
    {
        return false;
    }
    return takeOverValues(responses.front(), DataDevice::Properties::isRequired,
                          [&device](BACNET_PROPERTY_ID id, const ValueContainer& value)
                          { device.props.setValue(id, value); });
}

Poco::Int32 AppTrendLogPusher::collectTrendLog(const DataObjectKey& key, std::vector<DataTrendLog>& trendLogs)
{
    const ObjectIdentifier deviceIdentifier(OBJECT_DEVICE, key.deviceInstance);
    auto it = std::find_if(trendLogs.begin(), trendLogs.end(),
                           [&](const DataTrendLog& tl)
                           {
                               return tl.objKey.getDeviceIdentifier() == deviceIdentifier &&
                                      tl.objKey.getObjectIdentifier() == key.objectIdentifier;
                           });
    if (it != trendLogs.end() && it->loggerFound)
    {
        return 0;
    }
    DataTrendLog newTrendLog(key);
    DataTrendLog& tl = it != trendLogs.end() ? *it : newTrendLog;
    const std::vector<NotificationRequestRPM::Parameter> request{NotificationRequestRPM::Parameter(
        key.objectIdentifier,
        wholeProperties({PROP_OBJECT_NAME, PROP_LOG_DEVICE_OBJECT_PROPERTY, PROP_ENABLE, PROP_LOGGING_TYPE,
                         PROP_BUFFER_SIZE, PROP_RECORD_COUNT, PROP_TOTAL_RECORD_COUNT, PROP_ALIGN_INTERVALS,
                         PROP_LOG_INTERVAL, PROP_INTERVAL_OFFSET, PROP_PROPRIETARY_RESET_ADJUST_VALUE}))};
    std::vector<DataResponseRPM> responses;
    DataError error;
    if (syncRPM(key.deviceInstance, request, responses, &error) != ServiceHelper::SYNC_RESULT_SUCCESS ||
        responses.empty())
    {
        return -1;
    }
    const DataResponseRPM& object = responses.front();
    const bool multiple = object.objectIdentifier.getObjectType() == OBJECT_TREND_LOG_MULTIPLE;
    bool channelsRead = true;
    const bool taken =
        takeOverValues(object, DataTrendLog::Properties::isRequired,
                       [&](BACNET_PROPERTY_ID id, const ValueContainer& value)
                       {
                           if (id != PROP_LOG_DEVICE_OBJECT_PROPERTY)
                           {
                               tl.props.setValue(id, value);
                               return;
                           }
                           // A trend log multiple logs a list, a trend log one reference.
                           std::vector<BACnetDeviceObjectPropertyReference> refs;
                           for (const BACnetValue& element : value.getBACnetPrimitives())
                           {
                               if (const auto* pRef = element.getIf<BACnetDeviceObjectPropertyReference>())
                               {
                                   refs.push_back(*pRef);
                               }
                               if (!multiple)
                               {
                                   break;
                               }
                           }
                           channelsRead = collectLoggingFromObjects(deviceIdentifier, refs, tl.channels);
                       });
    if (!taken || !channelsRead)
    {
        return -1;
    }
    tl.loggerFound = true;
    if (it != trendLogs.end())
    {
        return 0;
    }
    trendLogs.push_back(std::move(newTrendLog));
    return 1;
}

bool AppTrendLogPusher::collectLoggingFromObjects(
    const ObjectIdentifier& parentDeviceIdentifier,
    const std::vector<BACnetDeviceObjectPropertyReference>& refs, std::vector<DataChannel>& channels)
{
    channels.clear();
    for (const BACnetDeviceObjectPropertyReference& ref : refs)
    {
        DataChannel channel(parentDeviceIdentifier, ref);
        if (!collectLoggingFromObject(ref, channel))
        {
            return false;
        }
        channels.push_back(std::move(channel));
    }
    return true;
}

bool AppTrendLogPusher::collectLoggingFromObject(const BACnetDeviceObjectPropertyReference& ref,
                                                 DataChannel& channel)
{
    const ObjectIdentifier deviceIdentifier = channel.getLoggedDeviceIdentifier();
    const Poco::UInt32 deviceInstance = deviceIdentifier.getInstance();
    std::vector<DataResponseRPM> responses;
    DataError error;
    const std::vector<NotificationRequestRPM::Parameter> deviceRequest{NotificationRequestRPM::Parameter(
        deviceIdentifier,
        wholeProperties({PROP_OBJECT_NAME, PROP_VENDOR_IDENTIFIER, PROP_VENDOR_NAME, PROP_MODEL_NAME}))};
    const auto setDeviceValue = [&channel](BACNET_PROPERTY_ID id, const ValueContainer& value)
    { channel.props.setDeviceValue(id, value); };
    switch (syncRPM(deviceInstance, deviceRequest, responses, &error))
    {
        case ServiceHelper::SYNC_RESULT_STOP:
            return false;
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            for (const DataResponseRPM& object : responses)
            {
                if (!takeOverValues(object, DataChannel::Properties::isRequired, setDeviceValue))
                {
                    return true;
                }
            }
            break;
        default:
            break;
    }
    std::vector<DataPropertyRef> objectProperties =
        wholeProperties({PROP_OBJECT_NAME, PROP_UNITS, PROP_RELIABILITY});
    if (ref.getObjectIdentifier().getObjectType() == OBJECT_ACCUMULATOR)
    {
        objectProperties.emplace_back(PROP_MAX_PRES_VALUE);
    }
    const std::vector<NotificationRequestRPM::Parameter> objectRequest{
        NotificationRequestRPM::Parameter(ref.getObjectIdentifier(), objectProperties)};
    const auto setObjectValue = [&channel](BACNET_PROPERTY_ID id, const ValueContainer& value)
    { channel.props.setObjectValue(id, value); };
    switch (syncRPM(deviceInstance, objectRequest, responses, &error))
    {
        case ServiceHelper::SYNC_RESULT_STOP:
            return false;
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            for (const DataResponseRPM& object : responses)
            {
                if (!takeOverValues(object, DataChannel::Properties::isRequired, setObjectValue))
                {
                    return true;
                }
            }
            return true;
        default:
            return true;
    }
}

bool AppTrendLogPusher::isBlackList(const BACnetDeviceObjectReference& ref)
{
    const auto& excluded = _whichTrendLogs.blacklistLoggers;
    return std::find(excluded.begin(), excluded.end(), ref) != excluded.end();
}

// ---- export document -----------------------------------------------------------------------------

bool AppTrendLogPusher::streamAll(std::ostream& os)
{
    bool result = true;
    try
    {
        std::unique_ptr<MarkupFactory> pMf = createMarkupFactory(_sendLog, os);
        MarkupFactory& mf = *pMf;
        mf.header();
        mf.markup(MarkupFactory::BT_STRUCT, "bacnet-2-cloud-trend-log", false, false);
        mf.markup(MarkupFactory::BT_STRING, "app-version", _APP_VERSION, true, true);
        mf.markup(MarkupFactory::BT_STRING, "zumbra-user", _sendLog.serverUserId, true, false);
        mf.markup(MarkupFactory::BT_STRING, "site-identifier", _sendLog.siteIdentifier, true, false);
        mf.markup(MarkupFactory::BT_STRING, "site-name", _sendLog.siteName, true, false);
        mf.markup(MarkupFactory::BT_UNSIGNED, "parent-identifier",
                  Poco::NumberFormatter::format(_sendLog.parentIdentifier), true, false);
        const std::string address = readGatewayAddress();
        if (!address.empty())
        {
            mf.markup(MarkupFactory::BT_STRING, "ip-address", address, true, false);
        }
        mf.markup(MarkupFactory::BT_STRUCT, "app-device", false, false);
        _thisDevice.markup(mf, false, true);
        mf.closeOpenMarkup();
        mf.markup(MarkupFactory::BT_LIST, "devices", false, false);
        for (std::size_t i = 0; i < _devices.size(); ++i)
        {
            _devices[i].markup(mf, i == 0 && _devices.size() > 1, false);
        }
        mf.closeOpenMarkup();
        mf.markup(MarkupFactory::BT_LIST, "tl-data", false, false);
        Poco::UInt32 channelsId = 1;
        for (DataDevice& device : _devices)
        {
            for (DataTrendLog& tl : device.trendLogs)
            {
                if (tl.loggerFound)
                {
                    getAndStreamTreandLog(mf, tl, channelsId);
                }
            }
        }
        mf.closeAllOpenMarkups();
    }
    catch (...)
    {
        result = false;
    }
    return result;
}

std::string AppTrendLogPusher::readGatewayAddress() const
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

void AppTrendLogPusher::getAndStreamTreandLog(MarkupFactory& mf, DataTrendLog& tl, Poco::UInt32& channelsId)
{
    const DataPropertyKey key(DataObjectKey(tl.objKey), PROP_LOG_BUFFER);
    Client::ReadRange::Range range = firstRange(key, tl.objKey);
    Position last = tl.objKey;
    Client::ReadRangeAck::Result values;
    for (;;)
    {
        readRecords(mf, tl, key, range, values);
        markupTrendLog(mf, tl, values, channelsId);
        advancePosition(last, values);
        if (!values.hasMoreItems())
        {
            break;
        }
        continueAfter(range, values);
    }
    tl.objKey = last;
}

Client::ReadRange::Range AppTrendLogPusher::firstRange(const DataPropertyKey& key, const Position& position)
{
    Client::ReadRange::Range range;
    range.count = _RECORD_COUNT;
    if (position.isNeverUploaded())
    {
        // Every record held, whatever its time: a device whose clock was never set stamps the epoch.
        range.requestType = Client::ReadRange::RT_BY_POSITION;
        range.refIndex = 1;
    }
    else if (position.getSequenceNumber() != 0 && holdsLastUploaded(key, position))
    {
        // Sequence numbers go on whatever the clocks do (a repeated daylight-saving hour, a device
        // clock set back), where times would repeat or skip records.
        range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
        range.refSeqNum = nextSequenceNumber(position.getSequenceNumber());
    }
    else
    {
        // The log no longer holds the last uploaded record (cleared, wrapped, renumbered), or its number
        // is not known: the records after its time.
        range.requestType = Client::ReadRange::RT_BY_TIME;
        range.refTime = DataType::BACnetDateTime(position.getTimeStamp());
    }
    return range;
}

bool AppTrendLogPusher::holdsLastUploaded(const DataPropertyKey& key, const Position& position)
{
    Client::ReadRange::Range range;
    range.requestType = Client::ReadRange::RT_BY_SEQUENCE;
    range.refSeqNum = position.getSequenceNumber();
    range.count = 1;
    Client::ReadRangeAck::Result values;
    DataError error;
    const Poco::Int32 result = syncRR(key, range, values, &error);
    if (result == ServiceHelper::SYNC_RESULT_STOP)
    {
        throw Poco::RuntimeException("stop requested while reading trend log records");
    }
    // The same number and the same time. Times compare as the device's local time: a local time in an
    // hour that repeats reads back as either instant, but both give the same local time.
    return result == ServiceHelper::SYNC_RESULT_SUCCESS && values.itemCnt == 1 &&
           values.firstSequenceNumber == position.getSequenceNumber() &&
           DataType::BACnetDateTime(values.value.getLastTimeStamp()) ==
               DataType::BACnetDateTime(position.getTimeStamp());
}

void AppTrendLogPusher::readRecords(MarkupFactory& mf, const DataTrendLog& tl, const DataPropertyKey& key,
                                    const Client::ReadRange::Range& range,
                                    Client::ReadRangeAck::Result& values)
{
    DataError error;
    switch (syncRR(key, range, values, &error))
    {
        case ServiceHelper::SYNC_RESULT_SUCCESS:
            return;
        case ServiceHelper::SYNC_RESULT_FAIL:
            markupTrendLogError(mf, tl, error);
            return;
        default:
            // The app is being stopped: the document ends here, incomplete, and is discarded.
            throw Poco::RuntimeException("stop requested while reading trend log records");
    }
}

void AppTrendLogPusher::markupTrendLog(MarkupFactory& mf, const DataTrendLog& tl,
                                       const Client::ReadRangeAck::Result& values, Poco::UInt32& channelsId)
{
    mf.markup(MarkupFactory::BT_LIST, Poco::NumberFormatter::format(channelsId), false, false);
    ++channelsId;
    for (std::size_t k = 0; k < tl.channels.size(); ++k)
    {
        const DataChannel& channel = tl.channels[k];
        mf.markup(MarkupFactory::BT_STRUCT, Poco::NumberFormatter::format(k + 1), false,
                  k == 0 && tl.channels.size() > 1);
        std::string hexIdentifier;
        mf.markup(MarkupFactory::BT_OCTET_STRING, "unique-idetnifier",
                  channel.propRef.getHexIdentifier(channel.parentDeviceIdentifier, hexIdentifier), true,
                  false);
        values.value.markup(mf, "values", false, BACNET_DT_NULL);
        mf.closeOpenMarkup();
    }
    mf.closeOpenMarkup();
}

void AppTrendLogPusher::markupTrendLogError(MarkupFactory&, const DataTrendLog&, const DataError& error)
{
    throw Poco::NotImplementedException(error.getString(), 0);
}

// ---- upload --------------------------------------------------------------------------------------

std::string AppTrendLogPusher::getFileName(const Poco::Timestamp& now) const
{
    std::string name = "tl_" + _sendLog.fileNameInitials + "_";
    Poco::DateTimeFormatter::append(name, now, "%y%m%d_%H%M%S%i", Poco::DateTimeFormatter::UTC);
    return name + ".xml";
}

bool AppTrendLogPusher::createAndSendFiles()
{
    try
    {
        const Poco::Timestamp now;
        const Poco::URI uri = checkUploadTarget();
        const Poco::UInt16 port = uri.getPort() != 0
                                      ? uri.getPort()
                                      : static_cast<Poco::UInt16>(Poco::Net::FTPClientSession::FTP_PORT);
        // Poco's session reads the server's greeting only inside login(); read here first, a session
        // without login stays in step with the server's replies.
        const Poco::Timespan connectTimeout(
            static_cast<Poco::Timespan::TimeDiff>(_timings.ftpConnectTimeoutMs) * 1000);
        Poco::Net::StreamSocket socket;
        socket.connect(Poco::Net::SocketAddress(uri.getHost(), port), connectTimeout);
        readGreeting(socket, connectTimeout);
        Poco::Net::FTPClientSession session(socket, false);
        session.setTimeout(
            Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(_timings.ftpSessionTimeoutMs) * 1000));
        if (!_ftp.userId.empty())
        {
            session.login(_ftp.userId, _ftp.password);
        }
        if (!_ftp.directory.empty())
        {
            session.setWorkingDirectory(_ftp.directory);
        }
        session.setFileType(Poco::Net::FTPClientSession::TYPE_TEXT);
        if (uploadDocument(session, getFileName(now)))
        {
            dbUpdateLastRetrievedTimestamps();
        }
        else
        {
            dbGetLastRetrievedTimestamps();
        }
        session.close();
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

void AppTrendLogPusher::reportUploadFailure(const std::string& reason)
{
    printMessage("FTP upload exited with exception, server " + _ftp.serverURL + ": " + reason);
    // The document may have advanced the positions without the server confirming it.
    reloadStoredPositionsAfterFailure();
}

Poco::URI AppTrendLogPusher::checkUploadTarget() const
{
    refuseLineBreaks(_FILE_NAME_INITIALS, _sendLog.fileNameInitials);
    if (_sendLog.fileNameInitials.find_first_of("/\\") != std::string::npos ||
        _sendLog.fileNameInitials.find("..") != std::string::npos)
    {
        refuseParameter(
            _FILE_NAME_INITIALS,
            "contains a path separator or \"..\", which would put the file outside the FTP directory");
    }
    refuseLineBreaks(_FTP_USER, _ftp.userId);
    refuseLineBreaks(_FTP_PASSWORD, _ftp.password);
    refuseLineBreaks(_FTP_DIRECTORY, _ftp.directory);
    refuseLineBreaks(_FTP_SERVER, _ftp.serverURL);
    Poco::URI uri;
    try
    {
        uri = _ftp.serverURL;
        if (uri.getHost().empty() || uri.getScheme().empty())
        {
            uri = "ftp://" + _ftp.serverURL;
        }
    }
    catch (const Poco::SyntaxException& e)
    {
        refuseParameter(_FTP_SERVER, "\"" + _ftp.serverURL + "\" is no server address: " + e.displayText());
    }
    if (uri.getScheme() != "ftp")
    {
        refuseParameter(_FTP_SERVER,
                        "\"" + _ftp.serverURL + "\" names the scheme " + uri.getScheme() + ", not ftp");
    }
    if (uri.getHost().empty())
    {
        refuseParameter(_FTP_SERVER, "\"" + _ftp.serverURL + "\" names no host");
    }
    return uri;
}

void AppTrendLogPusher::printMessage(const std::string& text) const
{
    std::cout << printable("AppTrendLogPusher(" + std::to_string(idAppInstance) + "): " + text) << std::endl;
}

bool AppTrendLogPusher::uploadDocument(Poco::Net::FTPClientSession& session, const std::string& fileName)
{
    const std::string partName = fileName + _PART_SUFFIX;
    std::ostream& os = session.beginUpload(partName);
    // Poco gives the data connection no time-out: a server that stops reading would block the app,
    // and its stop request with it, for good. Set on the buffer's own socket: the StreamSocket that
    // SocketIOS::socket() returns would release it under the stream.
    if (auto* pDataConnection = dynamic_cast<Poco::Net::SocketStreamBuf*>(os.rdbuf()))
    {
        pDataConnection->socketImpl()->setSendTimeout(session.getTimeout());
    }
    bool complete = false;
    try
    {
        complete = streamAll(os) && os.flush().good();
        if (complete)
        {
            session.endUpload();
            session.rename(partName, fileName);
        }
    }
    catch (...)
    {
        discardUpload(session, partName);
        throw;
    }
    if (!complete)
    {
        discardUpload(session, partName);
    }
    return complete;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
