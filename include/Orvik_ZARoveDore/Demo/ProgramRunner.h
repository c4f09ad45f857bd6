#pragma once

#include <string>
#include <vector>

namespace Orvik::BACnet::App
{

/// Runs a program with its arguments and waits for it, without a shell: every argument reaches the
/// program exactly as given, whatever quotes, `$`, backticks or blanks it holds, and nothing in it
/// is ever run as shell code.
///
/// The program is searched on PATH like a shell would (posix_spawnp). The child starts with no
/// blocked signals and default signal actions, whatever the calling thread blocks (the gateway
/// blocks SIGINT and SIGTERM in all its threads), so Ctrl-C and SIGTERM reach it as usual.
class ProgramRunner
{
public:
    /// Splits a command prefix at blanks: "sudo python /a/b/" gives {"sudo", "python", "/a/b/"}.
    static std::vector<std::string> splitWords(const std::string& commandPrefix);

    /// Runs `arguments[0]` with `arguments` as its argument vector and waits for its end. Returns the
    /// program's exit status, 128 + the signal number when a signal ended it, or -1 when it could
    /// not be started (no such program, no arguments); where the C library cannot report a failed
    /// start (posix_spawn done as fork and exec), such a start gives 127 instead. An argument that
    /// holds a NUL byte cannot reach a program whole: it throws Poco::InvalidArgumentException and
    /// nothing is run.
    static int run(const std::vector<std::string>& arguments);
};

}  // namespace Orvik::BACnet::App
