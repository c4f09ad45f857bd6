#pragma once

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnet/DataType/BACnetLogRecord.h"

#include <Poco/Timespan.h>
#include <Poco/Timestamp.h>
#include <Poco/Types.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::Utility::Data
{
class TeskDbSession;
}

namespace Orvik::BACnet::Device
{

/// The records of the trend logs that a program's own device records itself (the gateway's), kept in
/// one SQLite file so that they survive restarts and power cuts, and the settings of those logs, which
/// the recorder and the device's trend log objects share.
///
/// Each append() is one transaction (WAL, synchronous NORMAL): a committed batch survives the process
/// being killed. A log keeps at most its buffer size of records: the oldest go, or, with stop-when-full,
/// the last free place takes a log-disabled log-status record and the log disables itself. Sequence
/// numbers count on from the last one the file holds, also after a purge: they never repeat.
/// Records are read a span at a time (read()); only the counters of each log are held in memory.
///
/// Thread-safe: every call takes the store's lock (after the site's lock, when called from an object).
/// File errors are Poco::Data exceptions.
class LogStore
{
public:
    /// One logged property and how it is logged.
    class Log
    {
    public:
        Poco::UInt32 instance = 0;  ///< of the trend-log object
        DataType::BACnetDeviceObjectPropertyReference reference;
        /// Between polls (aligned to the clock); for a COV log the poll while no subscription holds.
        Poco::Timespan interval = Poco::Timespan(60, 0);
        bool cov = false;
        /// Read only when a tool asks (trigger), never at the interval.
        bool triggered = false;
        Poco::UInt32 resubscriptionSeconds = 300;
        Poco::UInt64 bufferSize = 1000;
        bool stopWhenFull = false;
    };

    /// A record's time (UTC, whole hundredths) and its datum and status flags (the record's own date and
    /// time are not used).
    class Record
    {
    public:
        Poco::Timestamp time;
        DataType::BACnetLogRecord datum;
    };

    class Entry
    {
    public:
        Poco::UInt32 instance = 0;
        Record record;
    };

    /// The counters of one log: records first..last are held (first > last: none).
    class State
    {
    public:
        Poco::UInt64 first = 1;
        Poco::UInt64 last = 0;
        bool enabled = true;
        /// A tool asked for a record (trigger) that the recorder has not begun to read.
        bool triggered = false;
    };

    /// Opens (creating the tables of) the SQLite file `path`; the caller creates it with its mode.
    explicit LogStore(const std::string& path);
    ~LogStore();
    LogStore(const LogStore&) = delete;
    LogStore& operator=(const LogStore&) = delete;

    /// Adds a log (its records in the file are kept, beyond its buffer size trimmed), enabled as
    /// `described` (the configuration's enable) says unless a tool wrote another enable while the
    /// configuration said the same as now. Throws Poco::ExistsException for a second log of one instance.
    void addLog(const Log& log, bool described);
    std::vector<Log> logs() const;
    /// Throws Poco::NotFoundException for an instance that is no log.
    State state(Poco::UInt32 instance) const;

    /// Appends the records in one transaction, each to its log unless that is disabled (or unknown).
    void append(const std::vector<Entry>& entries);
    /// Enables or disables a log as a tool asks; a change is logged as a log-status record (log-disabled)
    /// at `time`, and outlasts restarts until the configuration's enable changes. False, and nothing
    /// changed, when a full log that stops when full is to be enabled (purge it first).
    bool setEnabled(Poco::UInt32 instance, bool enabled, const Poco::Timestamp& time);
    /// Asks the recorder for a record of the log now (a tool wrote trigger TRUE); kept in memory only.
    void trigger(Poco::UInt32 instance);
    /// True once after trigger(): the recorder reads the log, and the trigger reads FALSE again.
    bool takeTrigger(Poco::UInt32 instance);
    /// Deletes the records of a log, then logs a buffer-purged log-status record at `time`.
    void purge(Poco::UInt32 instance, const Poco::Timestamp& time);

    /// The records first..last held, in sequence order.
    std::vector<Record> read(Poco::UInt32 instance, Poco::UInt64 first, Poco::UInt64 last) const;
    /// The first sequence number held whose time is after `time`; above the last when none is.
    Poco::UInt64 firstAfter(Poco::UInt32 instance, const Poco::Timestamp& time) const;
    /// The last sequence number held whose time is before `time`; 0 when none is.
    Poco::UInt64 lastBefore(Poco::UInt32 instance, const Poco::Timestamp& time) const;

    /// A log-status record of these flags (log-disabled, buffer-purged, log-interrupted).
    static DataType::BACnetLogRecord logStatus(bool disabled, bool purged, bool interrupted);

private:
    class Counted
    {
    public:
        Log log;
        State state;
        /// The configuration's enable.
        bool described = true;
    };

    Counted& counted(Poco::UInt32 instance);
    const Counted& counted(Poco::UInt32 instance) const;
    /// Inserts one record of `log` unless it is disabled; call within a transaction.
    void insert(Counted& log, const Record& record);
    /// Writes the counters and drops the records beyond the buffer size; within a transaction.
    void settle(Counted& log);
    /// Appends in one transaction, together with `alsoToCommit` when given.
    void appendLocked(const std::vector<Entry>& entries, const std::function<void()>& alsoToCommit = {});
    /// The enable of `log` at its start: a tool's, while the configuration's is what it was then. Within a
    /// transaction.
    bool keptEnable(const Counted& log);
    void rememberWrittenEnable(const Counted& log, bool enabled);

    mutable std::mutex _mutex;
    std::unique_ptr<Utility::Data::TeskDbSession> _pSession;
    std::map<Poco::UInt32, Counted> _logs;
};

}  // namespace Orvik::BACnet::Device
