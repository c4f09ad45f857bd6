#pragma once

#include <cstdlib>
#include <ctime>
#include <string>

namespace Orvik::Test
{

/// Sets the process's time zone (TZ) while it lives and restores the previous one (or none) after;
/// the gateway, the codec's local times and the simulated devices all follow it.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone) : _hadPrevious(std::getenv("TZ") != nullptr)
    {
        _previous = _hadPrevious ? std::getenv("TZ") : "";
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ScopedTimeZone()
    {
        _hadPrevious ? ::setenv("TZ", _previous.c_str(), 1) : ::unsetenv("TZ");
        ::tzset();
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    bool _hadPrevious;
    std::string _previous;
};

}  // namespace Orvik::Test
