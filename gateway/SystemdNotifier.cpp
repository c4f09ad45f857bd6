#include "SystemdNotifier.h"

#include <Poco/Environment.h>
#include <Poco/NumberParser.h>
#include <Poco/Process.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace Orvik::Gateway
{

SystemdNotifier::SystemdNotifier()
{
    _socketPath = Poco::Environment::get("NOTIFY_SOCKET", "");
    Poco::UInt64 microseconds = 0;
    unsigned pid = 0;
    const std::string watchdogPid = Poco::Environment::get("WATCHDOG_PID", "");
    const bool forThisProcess =
        watchdogPid.empty() || (Poco::NumberParser::tryParseUnsigned(watchdogPid, pid) &&
                                pid == static_cast<unsigned>(Poco::Process::id()));
    if (forThisProcess &&
        Poco::NumberParser::tryParseUnsigned64(Poco::Environment::get("WATCHDOG_USEC", ""), microseconds))
        _watchdogPeriod = Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(microseconds));
}

bool SystemdNotifier::notify(const std::string& state) const
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (_socketPath.empty() || _socketPath.size() >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, _socketPath.data(), _socketPath.size());
    // "@name" is a socket in the abstract namespace: its address starts with a zero octet.
    if (_socketPath.front() == '@')
        address.sun_path[0] = '\0';
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + _socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const ssize_t sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr*>(&address), length);
    ::close(fd);
    return sent == static_cast<ssize_t>(state.size());
}

}  // namespace Orvik::Gateway
