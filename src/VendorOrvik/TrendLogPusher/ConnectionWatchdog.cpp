#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ConnectionWatchdog.h"

#include <sys/socket.h>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

ConnectionWatchdog::ConnectionWatchdog(const Poco::Timespan& timeout)
    : _timeout(timeout), _thread([this] { run(); })
{
}

ConnectionWatchdog::~ConnectionWatchdog()
{
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        _stopping = true;
    }
    _changed.notify_all();
    _thread.join();
}

void ConnectionWatchdog::watch(int socket)
{
    const std::lock_guard<std::mutex> lock(_mutex);
    _socket = socket;
}

void ConnectionWatchdog::arm()
{
    {
        const std::lock_guard<std::mutex> lock(_mutex);
        _deadline =
            std::chrono::steady_clock::now() + std::chrono::microseconds(_timeout.totalMicroseconds());
    }
    _changed.notify_all();
}

void ConnectionWatchdog::disarm()
{
    const std::lock_guard<std::mutex> lock(_mutex);
    _deadline.reset();
}

bool ConnectionWatchdog::fired() const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return _fired;
}

void ConnectionWatchdog::run()
{
    std::unique_lock<std::mutex> lock(_mutex);
    while (!_stopping)
    {
        if (!_deadline)
        {
            _changed.wait(lock);
            continue;
        }
        const auto deadline = *_deadline;
        if (_changed.wait_until(lock, deadline) == std::cv_status::timeout && _deadline == deadline &&
            _socket >= 0)
        {
            // The library's own thread then finds the socket closed and fails its call.
            ::shutdown(_socket, SHUT_RDWR);
            _fired = true;
            _deadline.reset();
        }
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
