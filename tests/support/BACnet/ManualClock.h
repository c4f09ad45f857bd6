#pragma once

#include "Orvik_BACnet/Clock.h"

#include <map>
#include <mutex>

namespace Orvik::BACnet::Test
{

/// A clock that stands still until the test moves it: time-outs happen when the test says, with no real
/// waiting. Moving it wakes whoever waits on it (the client worker, a network's timers).
class ManualClock : public Clock
{
public:
    Poco::Int64 milliseconds() const override
    {
        std::lock_guard<std::mutex> lock(_mutex);
        return _now;
    }

    Poco::UInt64 addWaker(Waker waker) override
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _wakers[++_lastHandle] = std::move(waker);
        return _lastHandle;
    }

    void removeWaker(Poco::UInt64 handle) override
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _wakers.erase(handle);
    }

    void advance(Poco::Int64 milliseconds)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _now += milliseconds;
        for (const auto& entry : _wakers)
            entry.second();
    }

private:
    mutable std::mutex _mutex;
    Poco::Int64 _now = 1000000;
    std::map<Poco::UInt64, Waker> _wakers;
    Poco::UInt64 _lastHandle = 0;
};

}  // namespace Orvik::BACnet::Test
