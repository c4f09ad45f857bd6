#pragma once

#include <Poco/JSON/Object.h>

#include <iosfwd>
#include <string>

namespace Orvik::Gateway
{

/// The gateway's status as a small JSON file beside its configuration database, for
/// `orvik-gateway --status` on the board (no network port).
///
/// The supervisor writes it on every round; each write goes to a temporary name first and is then
/// renamed over the file, so a reader sees either the old or the new status, never half of one. The file
/// is the gateway user's only (PrivateFile): `--status` is run as that user or as root.
/// Members: "written" and "started" (UTC, ISO 8601), "pid", "alive", "silent" (the workers that did
/// not answer within the watchdog period), "interval" (seconds between writes) and "apps", each with
/// "name", "instance", "since", "restarts", "state" and, for a trend log pusher, "trend logs",
/// "newest uploaded record", "upload seen" (when the supervisor saw that record advance: the last
/// successful upload, to within one round) and "positions" (the stored upload positions).
class StatusFile
{
public:
    explicit StatusFile(const std::string& path);

    /// The status file of a database: "<folder>/<name without extension>.status.json".
    static std::string pathFor(const std::string& databasePath);

    const std::string& path() const { return _path; }

    /// Writes `status` atomically; throws Poco::FileException when it cannot.
    void write(const Poco::JSON::Object& status) const;

    /// Prints the status for people. Throws Poco::FileNotFoundException when there is no status file
    /// (the gateway has not run with this database) and Poco::DataFormatException for a file that is
    /// not a status.
    void print(std::ostream& out) const;

private:
    std::string _path;
};

}  // namespace Orvik::Gateway
