#include "TimerDriver.h"

#include <chrono>

namespace Orvik::BACnet::Client::IP
{

TimerDriver::TimerDriver(const std::string& threadName, std::mutex& ownerMutex, Clock& clock, DueWork dueWork)
    : _ownerMutex(ownerMutex), _clock(clock), _dueWork(std::move(dueWork)), _thread(threadName)
{
}

TimerDriver::~TimerDriver()
{
    stop();
}

void TimerDriver::start()
{
    {
        std::lock_guard<std::mutex> lock(_ownerMutex);
        if (_running)
            return;
        _running = true;
    }
    _waker = _clock.addWaker([this] { kick(); });
    _thread.startFunc([this] { run(); });
}

void TimerDriver::stop()
{
    {
        std::lock_guard<std::mutex> lock(_ownerMutex);
        if (!_running)
            return;
        _running = false;
    }
    kick();
    _thread.join();
    _clock.removeWaker(_waker);
    std::lock_guard<std::mutex> lock(_ownerMutex);
    _deferred.clear();
}

void TimerDriver::defer(std::function<void()> task)
{
    _deferred.push_back(std::move(task));
    kick();
}

void TimerDriver::kick()
{
    {
        std::lock_guard<std::mutex> lock(_wakeMutex);
        _kicked = true;
    }
    _wake.notify_one();
}

void TimerDriver::due(Poco::Int64 milliseconds)
{
    if (milliseconds >= 0 && (_wakeAt == _NEVER || _clock.milliseconds() + milliseconds < _wakeAt))
        kick();
}

void TimerDriver::run()
{
    for (;;)
    {
        Poco::Int64 wait = -1;
        {
            std::lock_guard<std::mutex> lock(_ownerMutex);
            if (!_running)
                return;
            wait = runRound();
            _wakeAt = wait < 0 ? _NEVER : _clock.milliseconds() + wait;
        }
        std::unique_lock<std::mutex> lock(_wakeMutex);
        const auto kicked = [this] { return _kicked; };
        if (wait < 0)
            _wake.wait(lock, kicked);
        else
            _wake.wait_for(lock, std::chrono::milliseconds(wait), kicked);
        _kicked = false;
    }
}

Poco::Int64 TimerDriver::runRound()
{
    while (!_deferred.empty())
    {
        const std::function<void()> task = std::move(_deferred.front());
        _deferred.pop_front();
        task();
    }
    const Poco::Int64 wait = _dueWork();
    return _deferred.empty() ? wait : 0;
}

}  // namespace Orvik::BACnet::Client::IP
