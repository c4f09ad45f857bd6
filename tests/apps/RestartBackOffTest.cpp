#include "Orvik_ZARoveDore/RestartBackOff.h"

#include <Poco/Clock.h>
#include <Poco/Timespan.h>
#include <gtest/gtest.h>

#include <vector>

using Orvik::BACnet::App::RestartBackOff;

namespace
{

using Delays = std::vector<Poco::Timespan::TimeDiff>;

/// Delays in seconds after `runs` runs of `runLength` µs each, every start right after the delay before.
Delays delaysOfRuns(RestartBackOff& backOff, Poco::Clock& now, int runs, Poco::Clock::ClockDiff runLength)
{
    Delays delays;
    for (int run = 0; run < runs; ++run)
    {
        backOff.started(now);
        now += runLength;
        const Poco::Timespan delay = backOff.delayAfterRun(now);
        delays.push_back(delay.totalSeconds());
        now += delay.totalMicroseconds();
    }
    return delays;
}

}  // namespace

TEST(RestartBackOff, QuickFailuresWaitLongerEachTimeUpToTheCapUntilARunLasts)
{
    const Poco::Clock::ClockDiff quick = RestartBackOff::_QUICK_RUN.totalMicroseconds() - 1;
    RestartBackOff backOff;
    Poco::Clock now;
    EXPECT_EQ(delaysOfRuns(backOff, now, 10, quick), (Delays{0, 1, 2, 4, 8, 16, 32, 60, 60, 60}));
    EXPECT_EQ(delaysOfRuns(backOff, now, 2, RestartBackOff::_QUICK_RUN.totalMicroseconds()), (Delays{0, 0}));
    EXPECT_EQ(delaysOfRuns(backOff, now, 3, 1000), (Delays{0, 1, 2}));
}
