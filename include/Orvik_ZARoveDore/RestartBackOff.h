#pragma once

#include <Poco/Clock.h>
#include <Poco/Timespan.h>

namespace Orvik::BACnet::App
{

/// The restart delay of one app instance.
///
/// An app that asks for a restart right after its start (a broker that refuses the connection,
/// a device that is not there yet) would otherwise be started again and again at full speed,
/// spinning the manager and flooding the BACnet network. A run shorter than _QUICK_RUN counts
/// as a quick failure. The first quick failure in a row is restarted at once; each further one
/// waits twice as long as the one before, starting at _FIRST_DELAY and capped at _MAX_DELAY
/// (0 s, 1 s, 2 s, 4 s ... 32 s, 60 s, 60 s ...). A run of _QUICK_RUN or longer ends the series:
/// an app that ran a while is restarted at once.
///
/// The caller supplies the clock readings, so the policy itself never reads the time.
class RestartBackOff
{
public:
    static const Poco::Timespan _QUICK_RUN;
    static const Poco::Timespan _FIRST_DELAY;
    static const Poco::Timespan _MAX_DELAY;

    /// Notes the start of a run.
    void started(const Poco::Clock& at);

    /// The delay before the next start of a run that ended at `endedAt` and asked for a restart.
    Poco::Timespan delayAfterRun(const Poco::Clock& endedAt);

private:
    Poco::Timespan delayForQuickRuns() const;

    Poco::Clock _startedAt;
    unsigned _quickRunsInRow = 0;
};

}  // namespace Orvik::BACnet::App
