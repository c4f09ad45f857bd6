#pragma once

#include <Poco/Timespan.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::Device
{

/// The records of a simulated trend log, computed on demand and never stored: record n (sequence
/// number n, counting from 1) was logged at start + (n - 1) * interval, with a value given by the
/// shape. A log of a million records therefore costs nothing until it is read.
///
/// A live log keeps logging with wall time: at time t it holds every record whose time is not after
/// t (and at least `count`). A log that is not live holds exactly `count` records. The buffer keeps the
/// newest `bufferSize` records (a ring buffer); older ones are gone, as on a device.
///
/// Times are whole hundredths of a second (a BACnet date-time's resolution), so time stamps survive
/// the trip through BACnetDateTime unchanged.
class SimulatedLogSeries
{
public:
    enum Shape
    {
        SINE,     ///< offset + amplitude * sin(2 pi n / periodRecords)
        RAMP,     ///< offset + amplitude * ((n - 1) mod periodRecords)
        SQUARE,   ///< offset + amplitude during the first half of each period, offset during the second
        CONSTANT  ///< offset
    };

    class Settings
    {
    public:
        Poco::Timestamp start;
        Poco::Timespan interval = Poco::Timespan(60, 0);
        Poco::UInt64 count = 0;
        bool live = false;
        Poco::UInt64 bufferSize = 0;  ///< 0: as large as needed, nothing is overwritten
        Shape shape = SINE;
        double offset = 20.0;
        double amplitude = 5.0;
        Poco::UInt64 periodRecords = 96;
        /// 0: the device clock ran true. Else the clock was moved by `clockStep` (negative: set back)
        /// just before record `clockStepAt` was logged: it and every later record carry times moved by
        /// `clockStep`, so times repeat or leap while sequence numbers go on.
        Poco::UInt64 clockStepAt = 0;
        Poco::Timespan clockStep;
    };

    /// Rounds start and interval to hundredths (the interval to at least one hundredth).
    explicit SimulatedLogSeries(const Settings& settings);

    const Settings& getSettings() const { return _settings; }

    /// Records logged so far (the total record count).
    Poco::UInt64 total(const Poco::Timestamp& now) const;
    /// The oldest record held; above lastHeld() when the buffer is empty.
    Poco::UInt64 firstHeld(const Poco::Timestamp& now) const;
    Poco::UInt64 lastHeld(const Poco::Timestamp& now) const { return total(now); }

    Poco::Timestamp timeOf(Poco::UInt64 sequenceNumber) const;
    /// The value of a record; `channel` shifts the phase so that channels of one log differ.
    double valueOf(Poco::UInt64 sequenceNumber, Poco::UInt32 channel) const;
    /// The first sequence number (in sequence order) whose time is after `time` (1 when all are).
    Poco::UInt64 firstAfter(const Poco::Timestamp& time) const;
    /// The last sequence number (in sequence order) whose time is before `time` (0 when none is).
    Poco::UInt64 lastBefore(const Poco::Timestamp& time) const;

    /// Moves the device clock by `step` just before record `sequenceNumber` (see Settings).
    void setClockStep(Poco::UInt64 sequenceNumber, const Poco::Timespan& step);

private:
    /// firstAfter() and lastBefore() of a clock that ran true.
    Poco::UInt64 firstAfterSteadily(const Poco::Timestamp& time) const;
    Poco::UInt64 lastBeforeSteadily(const Poco::Timestamp& time) const;

    Settings _settings;
};

}  // namespace Orvik::BACnet::Device
