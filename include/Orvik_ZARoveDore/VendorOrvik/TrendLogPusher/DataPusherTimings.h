#pragma once

#include <Poco/Timestamp.h>

#include <functional>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// How long the trend log pusher waits, in milliseconds, and the wall clock it reads. The defaults are
/// the production values; setups that cannot wait that long (test rigs) pass shorter ones or a clock of
/// their own.
class DataPusherTimings
{
public:
    /// Pause at the start of the app's run, before the parameters are read.
    long startDelayMs = 5000;
    /// For the FTP server to accept the connection and to send its greeting.
    long ftpConnectTimeoutMs = 30000;
    /// For each reply of the server on the control connection and for each write of the document on
    /// the data connection: a server that stops answering or reading ends the attempt after this long.
    long ftpSessionTimeoutMs = 30000;
    /// The wall clock for the schedule and the document's time. The waits themselves are real time.
    std::function<Poco::Timestamp()> now = [] { return Poco::Timestamp(); };
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
