#include "Orvik_BACnetDevice/LogStore.h"

#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Data/Transaction.h>
#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

#include <utility>

namespace Orvik::BACnet::Device
{

using namespace Poco::Data::Keywords;

namespace
{

const char* const SCHEMA[] = {
    "PRAGMA journal_mode=WAL",
    // A commit reaches the WAL file before append() returns: a killed process loses nothing committed.
    "PRAGMA synchronous=NORMAL",
    // Pages are read a reply at a time: a small cache keeps the gateway's memory flat.
    "PRAGMA cache_size=-256",
    "CREATE TABLE IF NOT EXISTS log (instance INTEGER PRIMARY KEY, last INTEGER NOT NULL)",
    "CREATE TABLE IF NOT EXISTS record (instance INTEGER NOT NULL, sequence INTEGER NOT NULL, "
    "time INTEGER NOT NULL, choice INTEGER NOT NULL, real REAL NOT NULL, number INTEGER NOT NULL, "
    "detail INTEGER NOT NULL, flags INTEGER NOT NULL, PRIMARY KEY (instance, sequence)) WITHOUT ROWID",
    "CREATE INDEX IF NOT EXISTS record_time ON record (instance, time)",
    // The enable a tool wrote against the description's, with the description's at the time.
    "CREATE TABLE IF NOT EXISTS written_enable (instance INTEGER PRIMARY KEY, enabled INTEGER NOT NULL, "
    "described INTEGER NOT NULL)"};

/// `flags` of a record without status flags.
const int NO_FLAGS = -1;

Poco::UInt64 bitsOf(const DataType::BitString& bits)
{
    Poco::UInt64 value = 0;
    for (std::size_t i = 0; i < bits.getBitCount(); ++i)
        value |= bits.getBit(i) ? Poco::UInt64(1) << i : 0;
    return value;
}

DataType::BitString bitString(Poco::UInt64 value, std::size_t count)
{
    DataType::BitString bits(count);
    for (std::size_t i = 0; i < count; ++i)
        bits.setBit(i, (value >> i) & 1);
    return bits;
}

/// One row of the record table.
class Row
{
public:
    Poco::Int64 time = 0;
    int choice = LOG_DATUM_NULL_VALUE;
    double real = 0.0;
    Poco::Int64 number = 0;
    Poco::Int64 detail = 0;
    int flags = NO_FLAGS;
};

Row rowOf(const LogStore::Record& record)
{
    const DataType::BACnetLogRecord& datum = record.datum;
    Row row;
    row.time = record.time.epochMicroseconds();
    row.choice = datum.getChoice();
    row.flags = datum.hasStatusFlags() ? datum.getStatusFlagBits() : NO_FLAGS;
    switch (datum.getChoice())
    {
        case LOG_DATUM_LOG_STATUS:
        case LOG_DATUM_BITSTRING_VALUE:
            row.number = static_cast<Poco::Int64>(bitsOf(datum.getBitString()));
            row.detail = static_cast<Poco::Int64>(datum.getBitString().getBitCount());
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            row.number = datum.getBoolean() ? 1 : 0;
            break;
        case LOG_DATUM_REAL_VALUE:
        case LOG_DATUM_TIME_CHANGE:
            row.real = datum.getReal();
            break;
        case LOG_DATUM_ENUM_VALUE:
            row.number = datum.getEnumerated();
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            row.number = static_cast<Poco::Int64>(datum.getUnsigned());
            break;
        case LOG_DATUM_SIGNED_VALUE:
            row.number = datum.getSigned();
            break;
        case LOG_DATUM_FAILURE:
            row.number = datum.getErrorClass();
            row.detail = datum.getErrorCode();
            break;
        default:
            // Any-values are never logged here: their datatype would be lost.
            row.choice = LOG_DATUM_NULL_VALUE;
            break;
    }
    return row;
}

LogStore::Record recordOf(const Row& row)
{
    LogStore::Record record;
    record.time = Poco::Timestamp(row.time);
    DataType::BACnetLogRecord& datum = record.datum;
    const auto count = static_cast<std::size_t>(row.detail);
    switch (row.choice)
    {
        case LOG_DATUM_LOG_STATUS:
            datum.setLogStatus(bitString(static_cast<Poco::UInt64>(row.number), count));
            break;
        case LOG_DATUM_BITSTRING_VALUE:
            datum.setBitString(bitString(static_cast<Poco::UInt64>(row.number), count));
            break;
        case LOG_DATUM_BOOLEAN_VALUE:
            datum.setBoolean(row.number != 0);
            break;
        case LOG_DATUM_REAL_VALUE:
            datum.setReal(static_cast<float>(row.real));
            break;
        case LOG_DATUM_TIME_CHANGE:
            datum.setTimeChange(static_cast<float>(row.real));
            break;
        case LOG_DATUM_ENUM_VALUE:
            datum.setEnumerated(static_cast<Poco::UInt32>(row.number));
            break;
        case LOG_DATUM_UNSIGNED_VALUE:
            datum.setUnsigned(static_cast<Poco::UInt64>(row.number));
            break;
        case LOG_DATUM_SIGNED_VALUE:
            datum.setSigned(row.number);
            break;
        case LOG_DATUM_FAILURE:
            datum.setFailure(static_cast<BACNET_ERROR_CLASS>(row.number),
                             static_cast<BACNET_ERROR_CODE>(row.detail));
            break;
        default:
            datum.setNull();
            break;
    }
    if (row.flags != NO_FLAGS)
        datum.setStatusFlags(bitString(static_cast<Poco::UInt64>(row.flags), 4));
    return record;
}

}  // namespace

LogStore::LogStore(const std::string& path) : _pSession(std::make_unique<Utility::Data::TeskDbSession>(path))
{
    for (const char* statement : SCHEMA)
        *_pSession << statement, now;
}

LogStore::~LogStore() = default;

void LogStore::addLog(const Log& log, bool described)
{
    std::lock_guard<std::mutex> lock(_mutex);
    if (_logs.count(log.instance) != 0)
        throw Poco::ExistsException("Trend log " + Poco::NumberFormatter::format(log.instance) + " twice");
    Counted added{log, State(), described};
    Poco::Int64 instance = log.instance;
    Poco::Int64 last = 0;
    Poco::Int64 first = 0;
    // The records count too: a number they hold is never given again, whatever the counter says.
    *_pSession << "SELECT MAX((SELECT COALESCE(MAX(last), 0) FROM log WHERE instance=?1), "
                  "(SELECT COALESCE(MAX(sequence), 0) FROM record WHERE instance=?1))",
        use(instance), into(last), now;
    *_pSession << "SELECT COALESCE(MIN(sequence), 0) FROM record WHERE instance=?", use(instance),
        into(first), now;
    added.state.last = static_cast<Poco::UInt64>(last);
    added.state.first = first == 0 ? added.state.last + 1 : static_cast<Poco::UInt64>(first);
    Poco::Data::Transaction transaction(*_pSession);
    added.state.enabled = keptEnable(added);
    // A log that stopped when full stays stopped until it is purged.
    if (log.stopWhenFull && added.state.last + 1 - added.state.first >= log.bufferSize)
        added.state.enabled = false;
    settle(added);
    transaction.commit();
    _logs.emplace(log.instance, added);
}

std::vector<LogStore::Log> LogStore::logs() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    std::vector<Log> logs;
    for (const auto& entry : _logs)
        logs.push_back(entry.second.log);
    return logs;
}

LogStore::State LogStore::state(Poco::UInt32 instance) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return counted(instance).state;
}

LogStore::Counted& LogStore::counted(Poco::UInt32 instance)
{
    const auto it = _logs.find(instance);
    if (it == _logs.end())
        throw Poco::NotFoundException("No recorded trend log " + Poco::NumberFormatter::format(instance));
    return it->second;
}

const LogStore::Counted& LogStore::counted(Poco::UInt32 instance) const
{
    return const_cast<LogStore*>(this)->counted(instance);
}

void LogStore::append(const std::vector<Entry>& entries)
{
    std::lock_guard<std::mutex> lock(_mutex);
    appendLocked(entries);
}

bool LogStore::keptEnable(const Counted& log)
{
    Poco::Int64 instance = log.log.instance;
    int written = -1;
    int described = -1;
    *_pSession << "SELECT COALESCE(MAX(enabled), -1), COALESCE(MAX(described), -1) FROM written_enable "
                  "WHERE instance=?",
        use(instance), into(written), into(described), now;
    if (written < 0)
        return log.described;
    if ((described != 0) == log.described)
        return written != 0;
    // The description was changed since: it holds again.
    *_pSession << "DELETE FROM written_enable WHERE instance=?", use(instance), now;
    return log.described;
}

void LogStore::rememberWrittenEnable(const Counted& log, bool enabled)
{
    Poco::Int64 instance = log.log.instance;
    if (enabled == log.described)
    {
        *_pSession << "DELETE FROM written_enable WHERE instance=?", use(instance), now;
        return;
    }
    int written = enabled ? 1 : 0;
    int described = log.described ? 1 : 0;
    *_pSession << "INSERT OR REPLACE INTO written_enable VALUES (?, ?, ?)", use(instance), use(written),
        use(described), now;
}

void LogStore::appendLocked(const std::vector<Entry>& entries, const std::function<void()>& alsoToCommit)
{
    // The counters move only with a commit: a failed batch leaves them as the file has them.
    const std::map<Poco::UInt32, Counted> before = _logs;
    try
    {
        Poco::Data::Transaction transaction(*_pSession);
        if (alsoToCommit)
            alsoToCommit();
        std::map<Poco::UInt32, Counted*> touched;
        for (const Entry& entry : entries)
        {
            const auto it = _logs.find(entry.instance);
            if (it == _logs.end())
                continue;
            insert(it->second, entry.record);
            touched[entry.instance] = &it->second;
        }
        for (const auto& log : touched)
            settle(*log.second);
        transaction.commit();
    }
    catch (...)
    {
        _logs = before;
        throw;
    }
}

void LogStore::insert(Counted& log, const Record& record)
{
    State& state = log.state;
    if (!state.enabled)
        return;
    Row row = rowOf(record);
    const Poco::UInt64 held = state.last + 1 - state.first;
    if (log.log.stopWhenFull && held + 1 >= log.log.bufferSize)
    {
        // The last free place tells why the log stopped.
        row = rowOf(Record{record.time, logStatus(true, false, false)});
        state.enabled = false;
    }
    Poco::Int64 instance = log.log.instance;
    auto sequence = static_cast<Poco::Int64>(++state.last);
    *_pSession << "INSERT INTO record VALUES (?, ?, ?, ?, ?, ?, ?, ?)", use(instance), use(sequence),
        use(row.time), use(row.choice), use(row.real), use(row.number), use(row.detail), use(row.flags), now;
}

void LogStore::settle(Counted& log)
{
    State& state = log.state;
    const Poco::UInt64 bufferSize = std::max<Poco::UInt64>(log.log.bufferSize, 1);
    Poco::Int64 instance = log.log.instance;
    if (state.last + 1 - state.first > bufferSize)
    {
        state.first = state.last + 1 - bufferSize;
        auto first = static_cast<Poco::Int64>(state.first);
        *_pSession << "DELETE FROM record WHERE instance=? AND sequence<?", use(instance), use(first), now;
    }
    auto last = static_cast<Poco::Int64>(state.last);
    *_pSession << "INSERT OR REPLACE INTO log VALUES (?, ?)", use(instance), use(last), now;
}

bool LogStore::setEnabled(Poco::UInt32 instance, bool enabled, const Poco::Timestamp& time)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Counted& log = counted(instance);
    if (log.state.enabled == enabled)
        return true;
    if (enabled && log.log.stopWhenFull && log.state.last + 1 - log.state.first >= log.log.bufferSize)
        return false;
    // Logged while enabled: the record of disabling is the last one, the one of enabling the first.
    log.state.enabled = true;
    try
    {
        appendLocked({Entry{instance, Record{time, logStatus(!enabled, false, false)}}},
                     [&] { rememberWrittenEnable(log, enabled); });
    }
    catch (...)
    {
        log.state.enabled = !enabled;
        throw;
    }
    counted(instance).state.enabled = enabled;
    return true;
}

void LogStore::trigger(Poco::UInt32 instance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    counted(instance).state.triggered = true;
}

bool LogStore::takeTrigger(Poco::UInt32 instance)
{
    std::lock_guard<std::mutex> lock(_mutex);
    return std::exchange(counted(instance).state.triggered, false);
}

void LogStore::purge(Poco::UInt32 instance, const Poco::Timestamp& time)
{
    std::lock_guard<std::mutex> lock(_mutex);
    Counted& log = counted(instance);
    Poco::Int64 key = instance;
    {
        Poco::Data::Transaction transaction(*_pSession);
        *_pSession << "DELETE FROM record WHERE instance=?", use(key), now;
        transaction.commit();
    }
    log.state.first = log.state.last + 1;
    if (log.state.enabled)
        appendLocked({Entry{instance, Record{time, logStatus(false, true, false)}}});
}

std::vector<LogStore::Record> LogStore::read(Poco::UInt32 instance, Poco::UInt64 first,
                                             Poco::UInt64 last) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    Poco::Int64 key = instance;
    auto from = static_cast<Poco::Int64>(first);
    auto to = static_cast<Poco::Int64>(last);
    Row row;
    std::vector<Record> records;
    Poco::Data::Statement select(*_pSession);
    select << "SELECT time, choice, real, number, detail, flags FROM record "
              "WHERE instance=? AND sequence BETWEEN ? AND ? ORDER BY sequence",
        use(key), use(from), use(to), into(row.time), into(row.choice), into(row.real), into(row.number),
        into(row.detail), into(row.flags), range(0, 1);
    while (!select.done())
    {
        if (select.execute() > 0)
            records.push_back(recordOf(row));
    }
    return records;
}

Poco::UInt64 LogStore::firstAfter(Poco::UInt32 instance, const Poco::Timestamp& time) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    Poco::Int64 key = instance;
    Poco::Int64 after = time.epochMicroseconds();
    Poco::Int64 first = 0;
    *_pSession << "SELECT COALESCE(MIN(sequence), 0) FROM record WHERE instance=? AND time>?", use(key),
        use(after), into(first), now;
    return first == 0 ? counted(instance).state.last + 1 : static_cast<Poco::UInt64>(first);
}

Poco::UInt64 LogStore::lastBefore(Poco::UInt32 instance, const Poco::Timestamp& time) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    Poco::Int64 key = instance;
    Poco::Int64 before = time.epochMicroseconds();
    Poco::Int64 last = 0;
    *_pSession << "SELECT COALESCE(MAX(sequence), 0) FROM record WHERE instance=? AND time<?", use(key),
        use(before), into(last), now;
    return static_cast<Poco::UInt64>(last);
}

DataType::BACnetLogRecord LogStore::logStatus(bool disabled, bool purged, bool interrupted)
{
    DataType::BitString bits(3);
    bits.setBit(0, disabled);
    bits.setBit(1, purged);
    bits.setBit(2, interrupted);
    DataType::BACnetLogRecord record;
    record.setLogStatus(bits);
    return record;
}

}  // namespace Orvik::BACnet::Device
