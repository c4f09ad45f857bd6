#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"

#include <Poco/Clock.h>
#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Path.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <iostream>

#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterNames.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PusherParameterReader.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

/// Longest single wait on the queue: fits a 32-bit long, and re-reads the wall clock now and then.
const Poco::Int64 MAX_WAIT_PART_MILLISECONDS = 3600000;

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

}  // namespace

AppTrendLogPusher::AppTrendLogPusher(Poco::Int32 idAppInstance, const DataPusherTimings& timings)
    : AppBase(idAppInstance),
      _thisDevice(getBACnetServerDeviceInstance()),
      _timings(timings),
      _positions(_devices, idAppInstance),
      _discovery(
          *this, _devices, _whichTrendLogs, _positions, getBACnetServerDeviceInstance(),
          [this] { return answerWaitingSanityRequests(); },
          [this](const std::string& line) { printMessage(line); }),
      _writer(
          *this, _sendLog, _thisDevice, _devices, [this] { answerWaitingSanityRequests(); },
          [this](const std::string& line) { printMessage(line); }),
      _upload(_ftp, _sendLog.fileNameInitials, _timings)
{
    // A backlog read ahead beyond the memory cap waits next to the configuration database.
    if (Orvik::Utility::Data::pDB != nullptr)
    {
        TrendLogReadAhead::Limits limits;
        limits.spoolFolder =
            Poco::Path(Orvik::Utility::Data::pDB->getFileName()).absolute().parent().toString();
        _writer.setReadAheadLimits(limits);
    }
}

AppTrendLogPusher::~AppTrendLogPusher() = default;

bool AppTrendLogPusher::descRun()
{
    if (!pauseAtStart())
    {
        return false;
    }
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

bool AppTrendLogPusher::pauseAtStart()
{
    // A wait on the queue rather than a sleep: the supervisor's sanity requests are answered meanwhile.
    const Poco::Clock started;
    const Poco::Clock::ClockDiff pause = static_cast<Poco::Clock::ClockDiff>(_timings.startDelayMs) * 1000;
    return waitAnswering([&] { return (pause - started.elapsed() + 999) / 1000; });
}

bool AppTrendLogPusher::waitForNextAttempt()
{
    // The due time is fixed when the wait begins. Recomputing it after each notification (the
    // supervisor's sanity requests come every few seconds) would push an attempt whose offset point
    // lies just after a period boundary, or a retry, into the future again and again.
    const Poco::Timestamp due = _schedule.nextAttempt(_timings.now());
    return waitAnswering(
        [&]
        {
            const Poco::Timestamp now = _timings.now();
            return now >= due ? Poco::Int64(0) : (due - now + 999) / 1000;
        });
}

bool AppTrendLogPusher::waitAnswering(const std::function<Poco::Int64()>& millisecondsLeft)
{
    for (Poco::Int64 left = millisecondsLeft(); left > 0; left = millisecondsLeft())
    {
        if (handleNotification(
                waitDequeueNotification(static_cast<long>(std::min(left, MAX_WAIT_PART_MILLISECONDS)))))
        {
            return false;
        }
    }
    return true;
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
            _timings.now(), [this](std::ostream& os) { return _writer.streamAll(os); },
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
    return _schedule.millisecondsUntilNextAttempt(_timings.now());
}

void AppTrendLogPusher::getParameters()
{
    std::vector<ValueContainer> properties;
    getProperties(properties);
    std::cout << "AppTrendLogPusher: properties.size()=" << properties.size() << std::endl;
    PusherParameterReader(_sendLog, _ftp, _whichTrendLogs, _schedule, _positions,
                          [this](const std::string& line) { printMessage(line); })
        .read(properties, [this] { _upload.checkUploadTarget(); });
    warnOfClearTextPassword();
}

void AppTrendLogPusher::warnOfClearTextPassword() const
{
    if (_upload.sendsPasswordInClearText())
    {
        printMessage(PusherParameterNames::describe(PusherParameterNames::_FTP_PASSWORD) +
                     " travels in clear text to a server without TLS; an ftps:// or sftp:// address in " +
                     PusherParameterNames::describe(PusherParameterNames::_FTP_SERVER) + " encrypts it");
    }
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
