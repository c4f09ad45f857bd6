#pragma once

#include "Orvik_BACnet/Clock.h"

#include <Poco/Thread.h>
#include <Poco/Types.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <string>

namespace Orvik::BACnet::Client::IP
{

/// The one thread that runs a network's timers. Each round it runs the tasks deferred to it, then the
/// owner's due work (which returns the milliseconds until its next timer, negative for none), then
/// sleeps until that timer, a kick(), or a jump of the clock.
///
/// Tasks and due work run under the owner's lock (given), so they see the owner's state as its other
/// callers do. defer() is for work that cannot run where it arises: under the TransactionTable's
/// lock, which its Transmit function holds. The driver's own lock only guards the wake flag, so that a
/// clock jump, a new transaction or the link can wake it without the owner's lock.
class TimerDriver
{
public:
    /// Called with the owner's lock held.
    using DueWork = std::function<Poco::Int64()>;

    TimerDriver(const std::string& threadName, std::mutex& ownerMutex, Clock& clock, DueWork dueWork);
    ~TimerDriver();

    TimerDriver(const TimerDriver&) = delete;
    TimerDriver& operator=(const TimerDriver&) = delete;

    /// Starts the thread; the owner's lock must not be held.
    void start();
    /// Ends the thread and drops the deferred tasks: after it returns, neither tasks nor due work run.
    /// The owner's lock must not be held. Stopping a stopped driver does nothing.
    void stop();
    /// With the owner's lock held: `task` runs on the driver's thread before the next due work.
    void defer(std::function<void()> task);
    /// From any thread, with or without the owner's lock: the next timer may have moved earlier.
    void kick();
    /// With the owner's lock held: the owner's next timer runs out in `milliseconds` (negative: none).
    /// Wakes the thread only when that is before it wakes anyway, so that a request whose time-out lies
    /// behind the timers running does not cost the thread a wake-up.
    void due(Poco::Int64 milliseconds);

private:
    static constexpr Poco::Int64 _NEVER = std::numeric_limits<Poco::Int64>::max();

    void run();
    /// With the owner's lock held; returns how long to sleep (negative: until kicked).
    Poco::Int64 runRound();

    std::mutex& _ownerMutex;
    Clock& _clock;
    const DueWork _dueWork;
    Poco::Thread _thread;
    Poco::UInt64 _waker = 0;

    // ---- under the owner's lock
    bool _running = false;
    /// When the thread wakes next on the clock; _NEVER while it waits for a kick.
    Poco::Int64 _wakeAt = _NEVER;
    std::deque<std::function<void()>> _deferred;

    // ---- under _wakeMutex
    std::mutex _wakeMutex;
    std::condition_variable _wake;
    bool _kicked = false;
};

}  // namespace Orvik::BACnet::Client::IP
