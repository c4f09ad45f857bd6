#pragma once

#include <Poco/Clock.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <ostream>
#include <string>
#include <vector>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataChannel.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"

namespace Poco
{
class URI;
namespace Net
{
class FTPClientSession;
}
}  // namespace Poco

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
/// The document goes to the server under a temporary name (the final name plus ".part") and is renamed
/// to its final name "tl_<initials>_<yyMMdd_HHmmssSSS>.xml" once the server has confirmed the transfer;
/// a document that could not be completed is removed when the session still allows it. A consumer of
/// the FTP folder therefore never sees a partial document under a final name.
///
/// The cycle runs on the app's pool thread: descRun() is initialise(), then waitForNextAttempt() and
/// runAttempt() in turn until the stop request. Tests and drivers may call these steps directly.
class AppTrendLogPusher : public AppBase
{
public:
    /// Where trend logs are looked for.
    enum WhereFromToCollect : Poco::UInt32
    {
        FROM_PARAMETER_LIST = 0,  ///< no search: only the stored positions
        FROM_LOCAL_DEVICE = 1,    ///< the gateway's own device
        FROM_NETWORK = 2          ///< every device that answers a Who-Is
    };

    /// Where and how often trend logs are looked for, and which objects are excluded.
    class DataWhichTrendLogs
    {
    public:
        WhereFromToCollect collectTrendLogs = FROM_PARAMETER_LIST;
        Poco::UInt32 refreshTrendlLogListIntervalMinutes = 0;  ///< 0: search only at start
        /// A device object excludes the whole device, a trend log object that trend log.
        std::vector<DataType::BACnetDeviceObjectReference> blacklistLoggers;
    };

    /// The upload target.
    class DataFtpServer
    {
    public:
        std::string serverURL;  ///< a URI, or a host (with optional port) taken as "ftp://" + it
        std::string userId;     ///< empty: no login
        std::string password;
        std::string directory;  ///< empty: the login directory
    };

    /// The document's header values, the markup choice and the upload schedule.
    class DataSendLog
    {
    public:
        Poco::UInt32 parentIdentifier = 0;
        std::string siteIdentifier;
        std::string siteName;
        std::string fileNameInitials;
        std::string serverUserId;
        WS::MarkupFactory::MarkupLanguage markupLanguage = WS::MarkupFactory::XML;
        bool textExtendEnumsAndBitStrings = false;
        bool format = false;
        Poco::UInt32 periodicityMinutes = 1;  ///< at least 1
        Poco::UInt32 retryWhenFailureMinutes = 0;
        Poco::UInt32 retryWhenFailureCnt = 0;
        Poco::UInt32 secondsOffset = 0;  ///< below periodicityMinutes * 60
        Poco::UInt32 pushMethod = 0;     ///< read and kept; nothing depends on it
    };

    static const Poco::Int32 _PROPERTY_ID_LOGGERS = 43;
    static const Poco::Int32 _PROPERTY_ID_LOGGERS_BLACK_LIST = 44;

    /// `timings`: the start delay and the FTP time-outs (DataPusherTimings; the defaults are the
    /// production values).
    explicit AppTrendLogPusher(Poco::Int32 idAppInstance,
                               const DataPusherTimings& timings = DataPusherTimings());
    ~AppTrendLogPusher() override;

    /// The cycle: a pause (5 s by default), initialise(), then waitForNextAttempt() and runAttempt() until
    /// the manager's stop request. Returns false (no restart). Exceptions of the start-up and of a search
    /// pass to the app base.
    bool descRun() override;

    // ---- the steps of the cycle -----------------------------------------------------------------

    /// Reads the parameters, the gateway's own device and, unless the trend logs come from the
    /// parameter list alone, runs the first search.
    void initialise();
    /// Waits on the app's queue until the next upload attempt is due. A long wait is waited in parts;
    /// a notification other than the stop request starts a fresh wait. False on the stop request.
    bool waitForNextAttempt();
    /// One upload attempt, then the retry count and, when due, the refresh of the trend log list.
    void runAttempt();

    // ---- parameters and schedule ----------------------------------------------------------------

    /// Reads and corrects the 20 parameters; throws Poco::InvalidArgumentException "To few App
    /// parameters" when there are fewer, and the exception of checkUploadTarget() (after a console
    /// line saying that the app does not start) when the upload parameters cannot be used. Each
    /// corrected value (a number that is none, a period of 0, an offset not below the period, retries
    /// that do not fit into the period, an unknown markup language or search mode) gets one console
    /// line naming the parameter and the value used instead.
    void getParameters();
    /// When the next upload attempt is due, seen at `now`: in retry mode the retry wait after now,
    /// otherwise `secondsOffset` after the period boundary that follows the current period's start.
    /// Computed in 64 bits: exact for every period the parameter can hold.
    Poco::Timestamp getNextAttemptTime(const Poco::Timestamp& now) const;
    /// Milliseconds from now until the next attempt, limited to the Int32 range.
    Poco::Int32 getTimoutMilliseconds();

    // ---- stored positions -----------------------------------------------------------------------

    /// Merges stored positions into the devices and trend logs: known trend logs take the stored time
    /// stamp, unknown ones are appended (not found) to their device, unknown devices are appended.
    void initLoggers(std::vector<DataTrendLog::Position> positions);
    /// Sets `out` to the list of the positions of all trend logs of all collected devices.
    void getDevicesAsValueContainer(ValueContainer& out);
    /// Stores that list as app parameter 43.
    void dbUpdateLastRetrievedTimestamps();
    /// Puts every position back to the stored one; a trend log without a stored position goes back to
    /// time stamp 0 (never confirmed). Called after every failed or unconfirmed document.
    void dbGetLastRetrievedTimestamps();

    // ---- search (devices and trend logs) --------------------------------------------------------

    /// One search in the configured mode; stores the positions when it found new trend logs and sets
    /// when the next search is due.
    void collectTrendLogs();
    /// Searches every device that answers a Who-Is, stopping at the first that fails. The number of
    /// new trend logs, or a negative number on failure.
    Poco::Int32 collectNetworkedTrendLogs();
    /// Searches one device's object list: the number of new trend logs, 0 for an excluded device, -1 on
    /// failure (a new device is then not added).
    Poco::Int32 collectTrendLogsFromDevice(Poco::UInt32 deviceInstance);
    /// Reads the device properties; false when the read failed or a required property is missing.
    bool collectDevice(DataDevice& device);
    /// Reads one trend log and its channels into `trendLogs`: 1 when added, 0 when it was there
    /// already, -1 on failure.
    Poco::Int32 collectTrendLog(const Client::DataObjectKey& key, std::vector<DataTrendLog>& trendLogs);
    /// Rebuilds `channels` from the logged references; false when a channel was refused (stop).
    bool collectLoggingFromObjects(const DataType::ObjectIdentifier& parentDeviceIdentifier,
                                   const std::vector<DataType::BACnetDeviceObjectPropertyReference>& refs,
                                   std::vector<DataChannel>& channels);
    /// Reads the logged object's and its device's properties; false only on a stop request.
    bool collectLoggingFromObject(const DataType::BACnetDeviceObjectPropertyReference& ref,
                                  DataChannel& channel);
    /// True when `ref` (device and object) is excluded.
    bool isBlackList(const DataType::BACnetDeviceObjectReference& ref);

    // ---- export document and upload -------------------------------------------------------------

    /// One upload attempt. True when it ran to its end (also when the document failed and was
    /// discarded); false when an exception ended it: one console line names the app instance, the
    /// server and the reason after "FTP upload exited with exception", and the stored positions are
    /// reloaded. Parameters that checkUploadTarget() refuses end the attempt before any connection.
    bool createAndSendFiles();
    /// Checks every parameter that reaches the FTP session and returns the server's URI. Throws
    /// Poco::InvalidArgumentException naming the parameter when a text would end an FTP command early
    /// (CR, LF, NUL), when the file name initials hold a path separator or "..", or when the server
    /// is not an ftp address with a host (port 0 included). Nothing is changed silently.
    Poco::URI checkUploadTarget() const;
    /// Writes the whole export document to `os`. False when a failure (a ReadRange that failed, a stop
    /// request, a writer or stream error) ended it early; the stream then holds an incomplete document.
    bool streamAll(std::ostream& os);
    /// Reads all new records of `tl` with ReadRange, writing one page element per reply; then advances
    /// its position to the last record read. Never uploaded: every record held (by position). Else,
    /// when the log still holds the last uploaded record (same sequence number and time), the records
    /// after its sequence number; otherwise the records after its time. Further pages by sequence number.
    /// Throws when a page fails, when the app is told to stop, or when a reply claims more records
    /// without carrying any.
    void getAndStreamTreandLog(WS::MarkupFactory& mf, DataTrendLog& tl, Poco::UInt32& channelsId);
    /// Writes one record page named `channelsId` (then incremented): per channel its identifier and
    /// the page's records.
    void markupTrendLog(WS::MarkupFactory& mf, const DataTrendLog& tl,
                        const Client::ReadRangeAck::Result& values, Poco::UInt32& channelsId);
    /// Throws Poco::NotImplementedException: a failed ReadRange ends the document.
    void markupTrendLogError(WS::MarkupFactory& mf, const DataTrendLog& tl, const DataError& error);

    /// The export file name of an attempt started at `now`: "tl_" + initials + "_" + UTC
    /// "%y%m%d_%H%M%S%i" + ".xml".
    std::string getFileName(const Poco::Timestamp& now) const;

    // ---- read access for drivers and tests ------------------------------------------------------

    const std::vector<DataDevice>& getDevices() const { return _devices; }
    const DataDevice& getThisDevice() const { return _thisDevice; }
    const DataWhichTrendLogs& getWhichTrendLogs() const { return _whichTrendLogs; }
    const DataFtpServer& getFtpServer() const { return _ftp; }
    const DataSendLog& getSendLog() const { return _sendLog; }
    Poco::UInt32 getSendToServerRetries() const { return _sendToServerRetries; }

    /// Suffix of the temporary name under which a document is uploaded until the server confirmed it.
    static const std::string _PART_SUFFIX;

private:
    DataDevice* findDevice(Poco::UInt32 deviceInstance);
    /// Where the records after `position` start (see getAndStreamTreandLog()).
    Client::ReadRange::Range firstRange(const Client::DataPropertyKey& key,
                                        const DataTrendLog::Position& position);
    /// True when the log holds the record of `position`: its sequence number with its time.
    bool holdsLastUploaded(const Client::DataPropertyKey& key, const DataTrendLog::Position& position);
    /// One page; a failed read ends the document (markupTrendLogError()), a stop request throws.
    void readRecords(WS::MarkupFactory& mf, const DataTrendLog& tl, const Client::DataPropertyKey& key,
                     const Client::ReadRange::Range& range, Client::ReadRangeAck::Result& values);
    bool uploadDocument(Poco::Net::FTPClientSession& session, const std::string& fileName);
    void reloadStoredPositionsAfterFailure();
    void reportUploadFailure(const std::string& reason);
    void readSchedule(const std::vector<ValueContainer>& properties);
    /// The value of parameter `number`; when it is no unsigned number, a console line and `fallback`.
    Poco::UInt32 unsignedParameter(const std::vector<ValueContainer>& properties, Poco::Int32 number,
                                   Poco::UInt32 fallback, const std::string& fallbackNote) const;
    void reportParameter(Poco::Int32 number, const std::string& problem, const std::string& used) const;
    /// One console line "AppTrendLogPusher(<instance>): <text>", control characters escaped, flushed.
    void printMessage(const std::string& text) const;
    std::string readGatewayAddress() const;

    std::vector<DataDevice> _devices;
    DataDevice _thisDevice;
    DataWhichTrendLogs _whichTrendLogs;
    DataFtpServer _ftp;
    DataSendLog _sendLog;
    Poco::Clock _nextTrendLogCollect;
    Poco::UInt32 _sendToServerRetries;
    const DataPusherTimings _timings;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
