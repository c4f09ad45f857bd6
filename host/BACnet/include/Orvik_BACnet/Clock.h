#pragma once

#include <Poco/Types.h>

#include <functional>

namespace Orvik::BACnet
{

/// The time that BACnet timers run on: the client worker's deadlines, and the transaction timers of a
/// network and of a server. Clock::system() is the real, monotonic clock; tests inject a clock that they move
/// by hand, so that time-outs need no real waiting.
///
/// A thread that waits for a deadline (on a queue with a time limit) waits in real time. A clock that
/// can jump forward wakes such waiters: whoever waits registers a waker with addWaker(). The system clock
/// never jumps and never calls a waker.
class Clock
{
public:
    using Waker = std::function<void()>;

    virtual ~Clock() = default;

    /// Milliseconds since an arbitrary start; never goes back.
    virtual Poco::Int64 milliseconds() const = 0;

    /// Registers `waker`, called after every jump of the time (on the thread that moves the clock, with
    /// the clock's own lock held: it must only wake its thread, for example by posting to a queue).
    /// Returns a handle for removeWaker (0 for a clock that never jumps).
    virtual Poco::UInt64 addWaker(Waker waker) = 0;
    /// After this returns, the waker is not called any more.
    virtual void removeWaker(Poco::UInt64 handle) = 0;

    /// The real clock (Poco::Clock, monotonic).
    static Clock& system();
};

}  // namespace Orvik::BACnet
