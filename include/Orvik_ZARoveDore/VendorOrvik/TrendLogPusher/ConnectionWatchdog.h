#pragma once

#include <Poco/Timespan.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Bounds each blocking call on a connection whose library would wait for good: libssh's SFTP calls
/// retry a read that timed out until an answer comes. Between arm() and disarm() the call may take
/// `timeout`; after that the watchdog's thread shuts the socket down, which fails the call (and the
/// connection) at once. The thread lives as long as the object.
class ConnectionWatchdog
{
public:
    explicit ConnectionWatchdog(const Poco::Timespan& timeout);
    ~ConnectionWatchdog();

    ConnectionWatchdog(const ConnectionWatchdog&) = delete;
    ConnectionWatchdog& operator=(const ConnectionWatchdog&) = delete;

    /// The socket to shut down when a call takes too long (-1: none yet).
    void watch(int socket);
    void arm();
    void disarm();
    /// True once a call took too long and the socket was shut down.
    bool fired() const;
    const Poco::Timespan& timeout() const { return _timeout; }

private:
    void run();

    const Poco::Timespan _timeout;
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    int _socket = -1;
    std::optional<std::chrono::steady_clock::time_point> _deadline;
    bool _fired = false;
    bool _stopping = false;
    std::thread _thread;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
