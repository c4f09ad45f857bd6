#include "DemoGatewayProcess.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>
#include <Poco/StringTokenizer.h>
#include <Poco/Thread.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace
{

const long POLL_MS = 100;

/// The program and, in a cross build, the emulator that runs it (a list separated by '|').
std::vector<std::string> gatewayCommand()
{
    const Poco::StringTokenizer words(ORVIK_GATEWAY_COMMAND, "|", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
    return std::vector<std::string>(words.begin(), words.end());
}

}  // namespace

DemoGatewayProcess::DemoGatewayProcess(const std::vector<std::string>& options,
                                       const std::string& workingFolder)
{
    std::vector<std::string> arguments = gatewayCommand();
    arguments.insert(arguments.end(), options.begin(), options.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments)
    {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 1, _out.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&files, 2, _err.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (!workingFolder.empty())
    {
        posix_spawn_file_actions_addchdir_np(&files, workingFolder.c_str());
    }
    const int result = posix_spawnp(&_pid, argv[0], &files, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&files);
    if (result != 0)
    {
        throw Poco::SystemException("cannot start " + arguments.front());
    }
}

DemoGatewayProcess::~DemoGatewayProcess()
{
    if (waitForExit(0) < 0)
    {
        kill(_pid, SIGKILL);
        waitpid(_pid, nullptr, 0);
    }
}

int DemoGatewayProcess::waitForExit(int seconds)
{
    for (long waited = 0; _status < 0; waited += POLL_MS)
    {
        int status = 0;
        if (waitpid(_pid, &status, WNOHANG) == _pid)
        {
            _status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        else if (waited >= seconds * 1000L)
        {
            break;
        }
        else
        {
            Poco::Thread::sleep(POLL_MS);
        }
    }
    return _status;
}

bool DemoGatewayProcess::waitForOutput(const std::string& text, int seconds) const
{
    for (long waited = 0; waited <= seconds * 1000L; waited += POLL_MS)
    {
        if (out().find(text) != std::string::npos)
        {
            return true;
        }
        Poco::Thread::sleep(POLL_MS);
    }
    return false;
}

void DemoGatewayProcess::sendSignal(int signal) const
{
    kill(_pid, signal);
}

std::string DemoGatewayProcess::out() const
{
    return readFile(_out.path());
}

std::string DemoGatewayProcess::err() const
{
    return readFile(_err.path());
}

std::string DemoGatewayProcess::readFile(const std::string& path)
{
    // The child creates the file; where spawning is fork and exec, it may not have done so yet.
    if (!Poco::File(path).exists())
    {
        return "";
    }
    Poco::FileInputStream in(path);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}
