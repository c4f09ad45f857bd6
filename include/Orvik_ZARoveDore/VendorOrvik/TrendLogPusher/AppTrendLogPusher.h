#pragma once

#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataWhichTrendLogs.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ExportDocumentWriter.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PositionStore.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogDiscovery.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSchedule.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// The trend log pusher (app number 500 of the system's own vendor).
///
/// It finds BACnet trend logs on the gateway's own device or on every device of the network, and on a
/// fixed wall-clock schedule streams every log record recorded since the last successful upload into one
/// export document (XML or JSON) that goes straight into an FTP upload. For each trend log it keeps the
/// sequence number and time stamp of the last uploaded record (its position); the positions are stored
/// as app parameter 43 after each confirmed upload, so that after a restart the next document continues
/// where the last confirmed one ended, also across clock changes.
///
/// No record is lost: a position advances in the database only after the server has confirmed the
/// whole document and it carries its final name. Every failure (server, device, stop) reloads the stored
/// positions, so the next document asks for the same records again. A record can therefore be uploaded
/// twice (when the gateway dies between the confirmation and the storing of the positions), never
/// not at all.
///
/// The app orchestrates pieces with one job each: PusherParameterReader (the parameters), UploadSchedule
/// (when), TrendLogDiscovery (which devices and trend logs), ExportDocumentWriter (the document),
/// DocumentUpload (the FTP transfer under a temporary name) and PositionStore (the positions).
///
/// The cycle runs on the app's thread: descRun() is initialise(), then waitForNextAttempt() and
/// runAttempt() in turn until the stop request. Drivers may call these steps directly. The supervisor's
/// sanity requests are answered in the wait and between the record pages of a document, so a long
/// upload does not count as a hang.
class AppTrendLogPusher : public AppBase
{
public:
    using DataWhichTrendLogs = TrendLogPusher::DataWhichTrendLogs;
    using DataFtpServer = TrendLogPusher::DataFtpServer;
    using DataSendLog = TrendLogPusher::DataSendLog;
    using WhereFromToCollect = DataWhichTrendLogs::WhereFromToCollect;
    static constexpr WhereFromToCollect FROM_PARAMETER_LIST = DataWhichTrendLogs::FROM_PARAMETER_LIST;
    static constexpr WhereFromToCollect FROM_LOCAL_DEVICE = DataWhichTrendLogs::FROM_LOCAL_DEVICE;
    static constexpr WhereFromToCollect FROM_NETWORK = DataWhichTrendLogs::FROM_NETWORK;

    static constexpr Poco::Int32 _PROPERTY_ID_LOGGERS = PositionStore::_PROPERTY_ID_LOGGERS;
    static constexpr Poco::Int32 _PROPERTY_ID_LOGGERS_BLACK_LIST = 44;

    /// `timings`: the start delay and the FTP time-outs (DataPusherTimings; the defaults are the
    /// production values).
    explicit AppTrendLogPusher(Poco::Int32 idAppInstance,
                               const DataPusherTimings& timings = DataPusherTimings());
    ~AppTrendLogPusher() override;

    /// The cycle: a pause (5 s by default), initialise(), then waitForNextAttempt() and runAttempt()
    /// until the manager's stop request. Returns false (no restart). Exceptions of the start-up and of
    /// a search pass to the app base.
    bool descRun() override;

    // ---- the steps of the cycle -----------------------------------------------------------------

    /// Reads the parameters, the gateway's own device and, unless the trend logs come from the
    /// parameter list alone, runs the first search.
    void initialise();
    /// Waits on the app's queue until the next upload attempt is due. A long wait is waited in parts;
    /// a notification other than the stop request is handled and the wait goes on to the same due
    /// time. False on the stop request.
    bool waitForNextAttempt();
    /// One upload attempt, then the retry count and, when due, the refresh of the trend log list.
    void runAttempt();
    /// One upload attempt. True when it ran to its end (also when the document failed and was
    /// discarded); false when an exception ended it: one console line names the app instance, the
    /// server and the reason after "FTP upload exited with exception", and the stored positions are
    /// reloaded. Parameters that the upload refuses end the attempt before any connection.
    bool createAndSendFiles();

    /// Reads and corrects the 20 parameters (PusherParameterReader, its lines on the console); throws
    /// Poco::InvalidArgumentException "To few App parameters" when there are fewer, and the exception of
    /// DocumentUpload::checkUploadTarget() (after a console line saying that the app does not start) when
    /// the upload parameters cannot be used. A password that the login would send in clear text gets one
    /// console line saying so (never the password), once per start.
    void getParameters();
    /// Milliseconds from now until the next attempt, limited to the Int32 range.
    Poco::Int32 getTimoutMilliseconds() const;
    /// Writes the whole export document to `os` (ExportDocumentWriter::streamAll()).
    bool streamAll(std::ostream& os);
    /// The bounds of the read-ahead of the next documents (default: 4 MB of pages in memory, then the spool,
    /// 4096 trend logs ahead); {0, 0} reads one trend log after the other, as a measurement's baseline.
    void setReadAheadLimits(const TrendLogReadAhead::Limits& limits) { _writer.setReadAheadLimits(limits); }
    void setDiscoveryLimits(const TrendLogDiscovery::Limits& limits) { _discovery.setLimits(limits); }

    // ---- read access for drivers and tests ------------------------------------------------------

    const std::vector<DataDevice>& getDevices() const { return _devices; }
    const DataDevice& getThisDevice() const { return _thisDevice; }
    const DataWhichTrendLogs& getWhichTrendLogs() const { return _whichTrendLogs; }
    const DataFtpServer& getFtpServer() const { return _ftp; }
    const DataSendLog& getSendLog() const { return _sendLog; }
    const UploadSchedule& getSchedule() const { return _schedule; }

private:
    /// Waits the start delay, answering sanity requests; false when the app was told to stop.
    bool pauseAtStart();
    /// Answers the notifications of the read queue until `millisecondsLeft` gives 0 or less (true), or
    /// until a stop request (false).
    bool waitAnswering(const std::function<Poco::Int64()>& millisecondsLeft);
    void reportUploadFailure(const std::string& reason);
    void warnOfClearTextPassword() const;
    /// One console line "AppTrendLogPusher(<instance>): <text>", control characters escaped, flushed.
    void printMessage(const std::string& text) const;

    std::vector<DataDevice> _devices;
    DataDevice _thisDevice;
    DataWhichTrendLogs _whichTrendLogs;
    DataFtpServer _ftp;
    DataSendLog _sendLog;
    UploadSchedule _schedule;
    const DataPusherTimings _timings;
    PositionStore _positions;
    TrendLogDiscovery _discovery;
    ExportDocumentWriter _writer;
    DocumentUpload _upload;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
