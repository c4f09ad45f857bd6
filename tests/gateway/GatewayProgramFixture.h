#pragma once

// The gateway program (orvik-gateway) as a child process of a test, through the emulator in a cross
// build: started and left running, or run to its end with both its streams; its `config` command on a
// database in the test's own folder.

#include "ChildProcess.h"
#include "TextFile.h"

#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace Orvik::Test
{

/// Bound on the waits: it only keeps a broken program from hanging the suite.
constexpr int BOUND_MS = 60000;
extern const std::string DEMO_SITE;
/// The demo's apps start at once instead of after their pause of seconds.
extern const std::string NO_PAUSE;

/// A stream of the program as one text, line by line.
std::string textOf(const ChildProcess& program, ChildProcess::Stream stream);
/// Waits until a line of `stream` holds `text`.
bool prints(ChildProcess& program, ChildProcess::Stream stream, const std::string& text);
/// The permission bits of a file; 07777 when there is none.
mode_t modeOf(const std::string& path);

/// How a run of the program ended.
struct ProgramResult
{
    int code = -1;
    std::string out;
    std::string err;
};

class GatewayProgramTest : public testing::Test
{
protected:
    GatewayProgramTest();

    std::string pathOf(const std::string& name) const { return _folder.path() + "/" + name; }

    /// Starts the gateway program after the words of `prefix`, in `folder` (default: the test's).
    static std::unique_ptr<ChildProcess> start(const std::vector<std::string>& options,
                                               const std::string& folder = "",
                                               std::vector<std::string> prefix = {});
    /// Runs the program to its end.
    static ProgramResult run(const std::vector<std::string>& options, std::vector<std::string> prefix = {});
    /// `orvik-gateway config --database=<database> <args>`; `asOtherUser` runs it as nobody, who may read
    /// the test's files but not write them.
    ProgramResult config(const std::vector<std::string>& args, const std::string& database = "",
                         bool asOtherUser = false) const;

    Poco::TemporaryFile _folder;
    const std::string _database = pathOf("config.db");
};

}  // namespace Orvik::Test
