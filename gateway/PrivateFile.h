#pragma once

#include <sys/types.h>

#include <string>

namespace Orvik::Gateway
{

/// The files the gateway writes may hold secrets (the configuration database with the FTP password and
/// the platform's token, the status file, exported configurations): each is born readable and writable
/// by its owner only, whatever the process's umask, instead of being narrowed after it was created.
/// SQLite gives a database's journal and WAL files the database's own mode, so they follow.
class PrivateFile
{
public:
    /// Owner read and write, nobody else.
    static constexpr mode_t _MODE = 0600;

    /// Creates `path` as a new empty file of mode _MODE, for the caller to open and fill. A file already
    /// there (left by an interrupted write) is removed first, as its mode may be wider; a link at `path`
    /// is removed, never followed. Throws Poco::CreateFileException naming the path and the reason.
    static void create(const std::string& path);
};

}  // namespace Orvik::Gateway
