#pragma once

#include <Poco/Data/Session.h>

#include <string>

namespace Orvik::Utility::Data
{

/// The host's configuration database: a Poco::Data session on one SQLite file.
///
/// Opening creates the file when it does not exist, turns on foreign key checks
/// (SQLite leaves them off by default) and sets a busy time-out, so that a write
/// that meets another connection's lock waits instead of failing at once.
/// Several threads may run statements on the one session: SQLite serialises the
/// calls on a connection (Debian builds it thread-safe). Counts of changed rows
/// are per connection; a caller that needs an exact count under concurrent writers
/// reads it from its own statement's execute() result.
class TeskDbSession : public Poco::Data::Session
{
public:
    /// Seconds a statement waits for a lock held by another connection.
    static constexpr std::size_t _BUSY_TIMEOUT_SEC = 10;

    /// Opens the SQLite database `sqliteFile`; throws Poco::Data::DataException
    /// (for example Poco::Data::SQLite::CantOpenDBFileException) when it cannot.
    explicit TeskDbSession(const std::string& sqliteFile);

    const std::string& getFileName() const { return _fileName; }

    /// Runs every statement of an SQL script (statements separated by ";"; comments
    /// allowed), for example a schema file, in one transaction (so the script must not
    /// open one of its own). At the first failing statement everything is rolled back
    /// and its exception thrown.
    void executeScript(const std::string& sql);

private:
    std::string _fileName;
};

/// The host's open configuration database; set by the host before any app or row
/// class uses it, not owned by its users.
extern TeskDbSession* pDB;

}  // namespace Orvik::Utility::Data
