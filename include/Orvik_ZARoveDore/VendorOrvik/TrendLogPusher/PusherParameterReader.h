#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataWhichTrendLogs.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/PositionStore.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSchedule.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Reads the trend log pusher's 20 app parameters into the pusher's records, correcting the values it
/// cannot use. The records, the schedule and the position store are the caller's (not owned; they must
/// outlive the reader).
///
/// Each corrected value (a number that is none, a period of 0, an offset not below the period, retries
/// that do not fit into the period, an unknown markup language or search mode) gets one line through
/// `report`: "<parameter> <problem>; <value used> is used instead".
class PusherParameterReader
{
public:
    using Report = std::function<void(const std::string& line)>;

    static const std::size_t _PARAMETER_COUNT = 20;

    PusherParameterReader(DataSendLog& sendLog, DataFtpServer& ftp, DataWhichTrendLogs& whichTrendLogs,
                          UploadSchedule& schedule, PositionStore& positions, Report report);

    /// Reads `properties` (parameter n at index n - 1). Throws Poco::InvalidArgumentException "To few App
    /// parameters" when there are fewer than 20. `checkUploadTarget` runs once the upload parameters
    /// are read; its Poco::InvalidArgumentException passes on after the line "<message>; the app does not
    /// start", and nothing after the upload parameters is read.
    void read(const std::vector<ValueContainer>& properties, const std::function<void()>& checkUploadTarget);

private:
    void readDocument(const std::vector<ValueContainer>& properties);
    void readSchedule(const std::vector<ValueContainer>& properties);
    void readTrendLogs(const std::vector<ValueContainer>& properties);
    /// The value of parameter `number`; when it is no unsigned number, a report and `fallback`.
    Poco::UInt32 unsignedParameter(const std::vector<ValueContainer>& properties, Poco::Int32 number,
                                   Poco::UInt32 fallback, const std::string& fallbackNote) const;
    void reportParameter(Poco::Int32 number, const std::string& problem, const std::string& used) const;

    DataSendLog& _sendLog;
    DataFtpServer& _ftp;
    DataWhichTrendLogs& _whichTrendLogs;
    UploadSchedule& _schedule;
    PositionStore& _positions;
    const Report _report;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
