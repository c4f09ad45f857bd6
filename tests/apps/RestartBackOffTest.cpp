#include <gtest/gtest.h>

#include <vector>

#include "Orvik_ZARoveDore/RestartBackOff.h"

using Orvik::BACnet::App::RestartBackOff;

namespace
{

const Poco::Clock::ClockDiff SECOND = 1000000;

/// Runs `runs` starts of `runLength` each, back to back after their delays; returns the delays in seconds.
std::vector<long> delaysOfRuns(RestartBackOff& backOff, Poco::Clock& now, int runs,
                               Poco::Clock::ClockDiff runLength)
{
    std::vector<long> delays;
    for (int run = 0; run < runs; ++run)
    {
        backOff.started(now);
        now += runLength;
        const Poco::Timespan delay = backOff.delayAfterRun(now);
        delays.push_back(static_cast<long>(delay.totalSeconds()));
        now += delay.totalMicroseconds();
    }
    return delays;
}

}  // namespace

TEST(RestartBackOff, QuickFailuresGrowToTheCap)
{
    RestartBackOff backOff;
    Poco::Clock now;
    EXPECT_EQ(delaysOfRuns(backOff, now, 10, SECOND / 10),
              (std::vector<long>{0, 1, 2, 4, 8, 16, 32, 60, 60, 60}));
}

TEST(RestartBackOff, ARunThatLastedEndsTheSeries)
{
    RestartBackOff backOff;
    Poco::Clock now;
    delaysOfRuns(backOff, now, 5, SECOND);
    EXPECT_EQ(delaysOfRuns(backOff, now, 3, RestartBackOff::_QUICK_RUN.totalMicroseconds()),
              (std::vector<long>{0, 0, 0}));
    EXPECT_EQ(delaysOfRuns(backOff, now, 3, SECOND), (std::vector<long>{0, 1, 2}));
}

TEST(RestartBackOff, RunJustShorterThanTheLimitCountsAsQuick)
{
    RestartBackOff backOff;
    Poco::Clock now;
    EXPECT_EQ(delaysOfRuns(backOff, now, 3, RestartBackOff::_QUICK_RUN.totalMicroseconds() - 1),
              (std::vector<long>{0, 1, 2}));
}
