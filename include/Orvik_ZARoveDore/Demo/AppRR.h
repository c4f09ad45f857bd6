#pragma once

#include <string>

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Demonstration app (app number 6): reads the log buffer of trend log 22 in device 266771 with
/// ReadRange, page by page, and prints every page. The first page is asked by time (records after
/// 2000-01-01 00:00 UTC), the next ones by sequence number; at most 50 records in all. Reads no
/// parameters; never asks for a restart.
///
/// Output: "RR REQUEST SENT-->" once, "<--RR RESPONSE" per reply, each page on standard output, a
/// failed request's error on standard error (not retried). The paging (Client::ReadRangePager) ends
/// when the device reports no more records, when 50 records have been read, after a failed request, or
/// at once on a stop request. A page that says more records follow but gives nothing to continue from
/// (no record, or no sequence number) ends the app with the pager's Poco::ProtocolException.
class AppRR : public AppBase
{
public:
    static constexpr Poco::UInt32 deviceObjectInstance = 266771;
    static constexpr Poco::UInt32 _TREND_LOG_INSTANCE = 22;
    /// Records asked for in all.
    static constexpr Poco::Int32 _REQUEST_COUNT = 50;
    /// Result flag: more records follow.
    static constexpr Poco::UInt32 moreDataMask = 4;

    /// Milliseconds between the app's start and its first request, by default.
    static constexpr long _START_DELAY_MS = 2000;

    /// `startDelayMs`: the pause before the first request (test rigs pass a short one).
    explicit AppRR(Poco::Int32 aIdAppInstance, long startDelayMs = _START_DELAY_MS);

    bool descRun() override;

    /// "\nAppRR, Device: <instance>", the object and property headers, then the page's records.
    void printResult(const Client::DataPropertyKey& key, const Client::ReadRangeAck::Result& values) const;

    /// "AppRR".
    const std::string& appName() const;

private:
    const long _startDelayMs;
};

}  // namespace Orvik::BACnet::App
