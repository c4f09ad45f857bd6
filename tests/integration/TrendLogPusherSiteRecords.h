#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "TrendLogPusherDocument.h"

/// What a simulated site holds, in the terms of the export document: its trend logs, the identifiers
/// of each one's channels, and its records as canonical texts.
class TrendLogPusherSiteRecords
{
public:
    struct TrendLog
    {
        Orvik::BACnet::Client::DataObjectKey key;
        std::string channelIdentifier;  ///< its channels' "unique-idetnifier" values, joined by '+'
    };

    explicit TrendLogPusherSiteRecords(const Orvik::BACnet::Client::Simulation::SimulatedSite& site);

    /// Every trend log and trend log multiple of every device, in device and object-list order.
    const std::vector<TrendLog>& trendLogs() const { return _trendLogs; }

    /// The records of `trendLog` under `sequenceNumber` (one per channel) as XML's canonical texts.
    std::vector<std::string> records(const TrendLog& trendLog, Poco::UInt64 sequenceNumber) const;

    /// Compares `records` (canonical texts of `document`'s language) with the site's records of
    /// `trendLog` from sequence number `first` on. Returns the first sequence number after the records
    /// compared, and sets `mismatch` to a description of the first difference (empty when they agree).
    Poco::UInt64 compare(const TrendLog& trendLog, const TrendLogPusherDocument& document,
                         const std::vector<std::string>& records, Poco::UInt64 first,
                         std::string& mismatch) const;

private:
    const Orvik::BACnet::Client::Simulation::SimulatedSite& _site;
    std::vector<TrendLog> _trendLogs;
};
