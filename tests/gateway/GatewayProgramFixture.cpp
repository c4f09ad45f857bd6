#include "GatewayProgramFixture.h"

#include <Poco/StringTokenizer.h>

#include <sys/stat.h>

#include <algorithm>

namespace Orvik::Test
{

using Stream = ChildProcess::Stream;

const std::string DEMO_SITE = ORVIK_SOURCE_DIR "/sites/demo.json";
const std::string NO_PAUSE = "--start-pause=0";

std::string textOf(const ChildProcess& program, Stream stream)
{
    std::string text;
    for (const std::string& line : program.lines(stream))
        text += line + "\n";
    return text;
}

bool prints(ChildProcess& program, Stream stream, const std::string& text)
{
    const auto holds = [&](const std::vector<std::string>& lines)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& line) { return line.find(text) != std::string::npos; });
    };
    return program.waitFor(stream, holds, BOUND_MS);
}

mode_t modeOf(const std::string& path)
{
    struct stat status
    {
    };
    return ::stat(path.c_str(), &status) == 0 ? (status.st_mode & 07777) : 07777;
}

GatewayProgramTest::GatewayProgramTest()
{
    _folder.createDirectories();
}

std::unique_ptr<ChildProcess> GatewayProgramTest::start(const std::vector<std::string>& options,
                                                        const std::string& folder,
                                                        std::vector<std::string> prefix)
{
    const Poco::StringTokenizer words(ORVIK_GATEWAY_COMMAND, "|", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
    prefix.insert(prefix.end(), words.begin(), words.end());
    prefix.insert(prefix.end(), options.begin(), options.end());
    return std::make_unique<ChildProcess>(prefix.front(),
                                          std::vector<std::string>(prefix.begin() + 1, prefix.end()), folder);
}

ProgramResult GatewayProgramTest::run(const std::vector<std::string>& options,
                                      std::vector<std::string> prefix)
{
    const auto pProgram = start(options, "", std::move(prefix));
    ProgramResult result;
    result.code = pProgram->wait(BOUND_MS);
    // The readers see the end of both streams soon after the program's end.
    const auto never = [](const std::vector<std::string>&) { return false; };
    pProgram->waitFor(Stream::OUTPUT, never, BOUND_MS);
    pProgram->waitFor(Stream::ERROR, never, BOUND_MS);
    result.out = textOf(*pProgram, Stream::OUTPUT);
    result.err = textOf(*pProgram, Stream::ERROR);
    return result;
}

ProgramResult GatewayProgramTest::config(const std::vector<std::string>& args, const std::string& database,
                                         bool asOtherUser) const
{
    std::vector<std::string> options = {"config", "--database=" + (database.empty() ? _database : database)};
    options.insert(options.end(), args.begin(), args.end());
    return run(options, asOtherUser ? std::vector<std::string>{"setpriv", "--reuid=65534", "--regid=65534",
                                                               "--clear-groups"}
                                    : std::vector<std::string>{});
}

}  // namespace Orvik::Test
