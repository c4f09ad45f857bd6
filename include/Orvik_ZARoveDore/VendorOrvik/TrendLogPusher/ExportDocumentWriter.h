#pragma once

#include <Poco/Types.h>

#include <ostream>
#include <string>
#include <vector>

#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Writes the trend log pusher's export document (XML or JSON, as the send log says): the header, the
/// gateway's own device, the collected devices with their found trend logs, and every record recorded
/// since each trend log's position, read from the devices page by page (Client::ReadRangePager) and
/// written as it comes, so that nothing holds the whole document. Each trend log's position advances
/// to the last record written.
///
/// Works on the app's thread with its blocking BACnet services; the requester, the send log and the
/// devices are not owned and must outlive the writer.
class ExportDocumentWriter
{
public:
    ExportDocumentWriter(Client::ServiceHelper& services, const DataSendLog& sendLog, DataDevice& thisDevice,
                         std::vector<DataDevice>& devices);

    /// Writes the whole export document to `os`. False when a failure (a ReadRange that failed, a stop
    /// request, a device that pages in a way that cannot go on, a writer or stream error) ended it
    /// early; the stream then holds an incomplete document.
    bool streamAll(std::ostream& os);

private:
    /// Reads all new records of `tl`, writing one page element per reply; then advances its position
    /// to the last record read. Never uploaded: every record held (by position). Else, when the log
    /// still holds the last uploaded record (same sequence number and time), the records after its
    /// sequence number; otherwise the records after its time. Throws when a page fails, when the app is
    /// told to stop, or when the pages cannot go on.
    void getAndStreamTrendLog(WS::MarkupFactory& mf, DataTrendLog& tl, Poco::UInt32& channelsId);
    /// Where the records after `position` start (see getAndStreamTrendLog()).
    Client::ReadRange::Range firstRange(const Client::DataPropertyKey& key,
                                        const DataTrendLog::Position& position);
    /// True when the log holds the record of `position`: its sequence number with its time.
    bool holdsLastUploaded(const Client::DataPropertyKey& key, const DataTrendLog::Position& position);
    /// Writes one record page named `channelsId` (then incremented): per channel its identifier and
    /// the page's records.
    void markupTrendLog(WS::MarkupFactory& mf, const DataTrendLog& tl,
                        const Client::ReadRangeAck::Result& values, Poco::UInt32& channelsId) const;
    /// The gateway's address as the host script prints it; empty when there is none.
    std::string readGatewayAddress() const;

    Client::ServiceHelper& _services;
    const DataSendLog& _sendLog;
    DataDevice& _thisDevice;
    std::vector<DataDevice>& _devices;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
