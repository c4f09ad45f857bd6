#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace Orvik::Test
{

/// Checks `done` every `step` until it holds. Returns false when it still does not hold after `timeout`;
/// a condition that holds at the last check counts. The time-out only bounds a failing test: a passing one
/// returns as soon as the condition holds.
inline bool eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(30),
                       std::chrono::milliseconds step = std::chrono::milliseconds(50))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done())
    {
        if (std::chrono::steady_clock::now() > deadline)
        {
            return done();
        }
        std::this_thread::sleep_for(step);
    }
    return true;
}

}  // namespace Orvik::Test
