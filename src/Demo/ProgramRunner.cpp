#include "Orvik_ZARoveDore/Demo/ProgramRunner.h"

#include <Poco/Exception.h>
#include <Poco/StringTokenizer.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace Orvik::BACnet::App
{

namespace
{

/// Spawn attributes: empty signal mask, default actions for the signals a host may block or catch.
class SpawnAttributes
{
public:
    SpawnAttributes()
    {
        posix_spawnattr_init(&_attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signal : {SIGINT, SIGTERM, SIGQUIT, SIGHUP, SIGPIPE})
        {
            sigaddset(&defaults, signal);
        }
        posix_spawnattr_setsigdefault(&_attributes, &defaults);
        posix_spawnattr_setflags(&_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &_attributes; }

private:
    posix_spawnattr_t _attributes;
};

int waitForExit(pid_t pid)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
    {
        if (errno != EINTR)
        {
            return -1;
        }
    }
    if (WIFEXITED(status))
    {
        return WEXITSTATUS(status);
    }
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

}  // namespace

std::vector<std::string> ProgramRunner::splitWords(const std::string& commandPrefix)
{
    const Poco::StringTokenizer words(
        commandPrefix, " ", Poco::StringTokenizer::TOK_IGNORE_EMPTY | Poco::StringTokenizer::TOK_TRIM);
    return std::vector<std::string>(words.begin(), words.end());
}

int ProgramRunner::run(const std::vector<std::string>& arguments)
{
    if (arguments.empty())
    {
        return -1;
    }
    // An argument vector ends each argument at its first NUL: such an argument would arrive cut short.
    for (const std::string& argument : arguments)
    {
        if (argument.find('\0') != std::string::npos)
        {
            throw Poco::InvalidArgumentException("Program argument holds a NUL byte", argument.c_str());
        }
    }
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments)
    {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const SpawnAttributes attributes;
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, attributes.get(), argv.data(), environ) != 0)
    {
        return -1;
    }
    return waitForExit(pid);
}

}  // namespace Orvik::BACnet::App
