#pragma once

#include <Poco/Types.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "Orvik_BACnet/LocalTimeConverter.h"
#include "Orvik_BACnet/WS/MarkupFactory.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataDevice.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataTrendLog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogReadAhead.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Writes the trend log pusher's export document (XML or JSON, as the send log says): the header, the
/// gateway's own device, the collected devices with their found trend logs, and every record recorded
/// since each trend log's position, read from the devices page by page and written in document order as
/// the pages come. The pages of the trend logs after the one being written are read ahead, on other
/// devices at the same time, within the bounds of a TrendLogReadAhead (4 MB of kept pages in memory by
/// default, then a spool file where the limits name a folder), so nothing holds the whole document. Each
/// trend log's position advances to the last record written.
///
/// Works on the app's thread with its blocking BACnet services; the requester, the send log and the
/// devices are not owned and must outlive the writer.
class ExportDocumentWriter
{
public:
    /// `pageWritten` is called on the app's thread after each record page written (the app answers
    /// its supervisor's sanity requests there during a long document); `report` gets the one line a
    /// complete document has to say about records it could not carry (overwritten on their devices
    /// before they could be uploaded).
    ExportDocumentWriter(Client::ServiceHelper& services, const DataSendLog& sendLog, DataDevice& thisDevice,
                         std::vector<DataDevice>& devices, std::function<void()> pageWritten,
                         std::function<void(const std::string&)> report,
                         const TrendLogReadAhead::Limits& readAheadLimits = TrendLogReadAhead::Limits());

    /// Writes the whole export document to `os`. False when a failure (a ReadRange that failed, a stop
    /// request, a device that pages in a way that cannot go on, a writer or stream error) ended it
    /// early; the stream then holds an incomplete document.
    bool streamAll(std::ostream& os);
    /// The bounds of the read-ahead of the next documents.
    void setReadAheadLimits(const TrendLogReadAhead::Limits& limits) { _readAheadLimits = limits; }

private:
    /// Writes the pages of `tl`, the trend log `index` of the read-ahead, one page element per reply;
    /// then advances its position to the last record written. Throws when a page fails, when the app is
    /// told to stop, or when the pages cannot go on.
    void getAndStreamTrendLog(WS::MarkupFactory& mf, DataTrendLog& tl, TrendLogReadAhead& readAhead,
                              std::size_t index, Poco::UInt32& channelsId);
    /// Writes one record page named `channelsId` (then incremented): per channel its identifier and
    /// the page's records.
    void markupTrendLog(WS::MarkupFactory& mf, const DataTrendLog& tl,
                        const Client::ReadRangeAck::Result& values, Poco::UInt32& channelsId) const;
    /// The gateway's address as the host script prints it; empty when there is none.
    std::string readGatewayAddress() const;
    /// Reports, in one line, the records that the trend logs of a document lost on their devices.
    void reportOverwritten(const std::vector<TrendLogReadAhead::Overwritten>& overwritten) const;

    Client::ServiceHelper& _services;
    const DataSendLog& _sendLog;
    DataDevice& _thisDevice;
    std::vector<DataDevice>& _devices;
    const std::function<void()> _pageWritten;
    const std::function<void(const std::string&)> _report;
    TrendLogReadAhead::Limits _readAheadLimits;
    /// The positions' times, from the local time of each page's last record.
    LocalTimeConverter _localTime;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
