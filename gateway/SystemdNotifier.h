#pragma once

#include <Poco/Timespan.h>

#include <string>

namespace Orvik::Gateway
{

/// Tells systemd about the gateway through the service manager's notification socket: the
/// datagram protocol of sd_notify, without linking libsystemd.
///
/// The socket is the one named by $NOTIFY_SOCKET (a path, or "@name" for an abstract socket); the
/// watchdog period is $WATCHDOG_USEC, when $WATCHDOG_PID is unset or names this process. Without
/// $NOTIFY_SOCKET (not run by systemd with Type=notify) every call does nothing.
class SystemdNotifier
{
public:
    /// Reads the environment.
    SystemdNotifier();

    bool isEnabled() const { return !_socketPath.empty(); }
    /// The period within which systemd wants a keep-alive; 0 when it wants none.
    Poco::Timespan watchdogPeriod() const { return _watchdogPeriod; }

    /// Sends one state line ("READY=1", "WATCHDOG=1", "STOPPING=1", "STATUS=..."). False when there
    /// is no socket or the datagram could not be sent.
    bool notify(const std::string& state) const;

private:
    std::string _socketPath;
    Poco::Timespan _watchdogPeriod;
};

}  // namespace Orvik::Gateway
