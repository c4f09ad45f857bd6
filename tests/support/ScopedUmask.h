#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace Orvik::Test
{

/// The process's umask for a test, which the programs it starts inherit.
class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : _previous(::umask(mask)) {}
    ScopedUmask(const ScopedUmask&) = delete;
    ScopedUmask& operator=(const ScopedUmask&) = delete;
    ~ScopedUmask() { ::umask(_previous); }

private:
    const mode_t _previous;
};

}  // namespace Orvik::Test
