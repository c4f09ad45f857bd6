#include "Orvik_ZARoveDore/RestartBackOff.h"

namespace Orvik::BACnet::App
{

const Poco::Timespan RestartBackOff::_QUICK_RUN(10, 0);
const Poco::Timespan RestartBackOff::_FIRST_DELAY(1, 0);
const Poco::Timespan RestartBackOff::_MAX_DELAY(60, 0);

void RestartBackOff::started(const Poco::Clock& at)
{
    _startedAt = at;
}

Poco::Timespan RestartBackOff::delayAfterRun(const Poco::Clock& endedAt)
{
    const Poco::Timespan ranFor(endedAt - _startedAt);
    if (ranFor >= _QUICK_RUN)
    {
        _quickRunsInRow = 0;
        return Poco::Timespan();
    }
    ++_quickRunsInRow;
    return delayForQuickRuns();
}

Poco::Timespan RestartBackOff::delayForQuickRuns() const
{
    if (_quickRunsInRow <= 1)
    {
        return Poco::Timespan();
    }
    Poco::Timespan delay = _FIRST_DELAY;
    for (unsigned doubling = 2; doubling < _quickRunsInRow && delay < _MAX_DELAY; ++doubling)
    {
        delay += delay;
    }
    return delay < _MAX_DELAY ? delay : _MAX_DELAY;
}

}  // namespace Orvik::BACnet::App
