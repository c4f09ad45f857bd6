#include "SimulatedLogSeries.h"

#include <algorithm>
#include <cmath>

namespace Orvik::BACnet::Device
{

namespace
{

const Poco::Timestamp::TimeDiff HUNDREDTH = 10000;
const double TWO_PI = 6.283185307179586;

Poco::Timestamp::TimeDiff floorDiv(Poco::Timestamp::TimeDiff value, Poco::Timestamp::TimeDiff divisor)
{
    const Poco::Timestamp::TimeDiff quotient = value / divisor;
    return (value % divisor != 0 && value < 0) ? quotient - 1 : quotient;
}

}  // namespace

SimulatedLogSeries::SimulatedLogSeries(const Settings& settings) : _settings(settings)
{
    _settings.start = Poco::Timestamp(floorDiv(settings.start.epochMicroseconds(), HUNDREDTH) * HUNDREDTH);
    const Poco::Timestamp::TimeDiff interval =
        floorDiv(settings.interval.totalMicroseconds(), HUNDREDTH) * HUNDREDTH;
    _settings.interval = Poco::Timespan(std::max(interval, HUNDREDTH));
    _settings.periodRecords = std::max<Poco::UInt64>(settings.periodRecords, 1);
    setClockStep(settings.clockStepAt, settings.clockStep);
}

void SimulatedLogSeries::setClockStep(Poco::UInt64 sequenceNumber, const Poco::Timespan& step)
{
    _settings.clockStepAt = sequenceNumber;
    _settings.clockStep = Poco::Timespan(floorDiv(step.totalMicroseconds(), HUNDREDTH) * HUNDREDTH);
}

Poco::UInt64 SimulatedLogSeries::total(const Poco::Timestamp& now) const
{
    if (!_settings.live)
        return _settings.count;
    const Poco::UInt64 logged = lastBefore(now + 1);
    return std::max(logged, _settings.count);
}

Poco::UInt64 SimulatedLogSeries::firstHeld(const Poco::Timestamp& now) const
{
    const Poco::UInt64 last = total(now);
    if (_settings.bufferSize == 0 || last <= _settings.bufferSize)
        return 1;
    return last - _settings.bufferSize + 1;
}

Poco::Timestamp SimulatedLogSeries::timeOf(Poco::UInt64 sequenceNumber) const
{
    const bool stepped = _settings.clockStepAt != 0 && sequenceNumber >= _settings.clockStepAt;
    return _settings.start +
           static_cast<Poco::Timestamp::TimeDiff>(sequenceNumber - 1) *
               _settings.interval.totalMicroseconds() +
           (stepped ? _settings.clockStep.totalMicroseconds() : 0);
}

double SimulatedLogSeries::valueOf(Poco::UInt64 sequenceNumber, Poco::UInt32 channel) const
{
    const Poco::UInt64 period = _settings.periodRecords;
    const Poco::UInt64 phase = (sequenceNumber - 1 + channel * (period / 4 + 1)) % period;
    switch (_settings.shape)
    {
        case SINE:
            return _settings.offset +
                   _settings.amplitude * std::sin(TWO_PI * static_cast<double>(phase) / period);
        case RAMP:
            return _settings.offset + _settings.amplitude * static_cast<double>(phase);
        case SQUARE:
            return _settings.offset + (phase < (period + 1) / 2 ? _settings.amplitude : 0.0);
        case CONSTANT:
        default:
            return _settings.offset;
    }
}

Poco::UInt64 SimulatedLogSeries::firstAfter(const Poco::Timestamp& time) const
{
    const Poco::UInt64 first = firstAfterSteadily(time);
    if (_settings.clockStepAt == 0 || first < _settings.clockStepAt)
        return first;
    // No record before the step is after `time`: the first after the step whose moved time is.
    return std::max(_settings.clockStepAt,
                    firstAfterSteadily(time - _settings.clockStep.totalMicroseconds()));
}

Poco::UInt64 SimulatedLogSeries::lastBefore(const Poco::Timestamp& time) const
{
    const Poco::UInt64 last = lastBeforeSteadily(time);
    if (_settings.clockStepAt == 0)
        return last;
    const Poco::UInt64 stepped = lastBeforeSteadily(time - _settings.clockStep.totalMicroseconds());
    return stepped >= _settings.clockStepAt ? stepped : std::min(last, _settings.clockStepAt - 1);
}

Poco::UInt64 SimulatedLogSeries::firstAfterSteadily(const Poco::Timestamp& time) const
{
    if (time < _settings.start)
        return 1;
    // Record n lies at start + (n - 1) * interval; the first after `time` follows the last at or before it.
    return static_cast<Poco::UInt64>((time - _settings.start) / _settings.interval.totalMicroseconds()) + 2;
}

Poco::UInt64 SimulatedLogSeries::lastBeforeSteadily(const Poco::Timestamp& time) const
{
    if (time <= _settings.start)
        return 0;
    return static_cast<Poco::UInt64>((time - _settings.start - 1) / _settings.interval.totalMicroseconds()) +
           1;
}

}  // namespace Orvik::BACnet::Device
