#include "ChildProcess.h"

#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/Path.h>
#include <Poco/PipeStream.h>
#include <Poco/Thread.h>
#include <Poco/Timestamp.h>

#include <algorithm>
#include <chrono>
#include <csignal>

namespace Orvik::Test
{

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::string& directory)
{
    std::signal(SIGPIPE, SIG_IGN);
    _process = std::make_unique<Poco::ProcessHandle>(
        Poco::Process::launch(program, args, directory, &_inPipe, &_outPipe, &_errPipe));
    _outputReader = std::thread([this] { readLines(_outPipe, _output); });
    _errorReader = std::thread([this] { readLines(_errPipe, _error); });
}

std::string ChildProcess::locate(const std::string& program)
{
    const std::string folders = Poco::Environment::get("PATH", "/usr/bin:/bin") + ":/usr/sbin:/sbin";
    Poco::Path found;
    return Poco::Path::find(folders, program, found) ? found.toString() : "";
}

ChildProcess::~ChildProcess()
{
    stop();
    joinReaders();
}

void ChildProcess::readLines(Poco::Pipe& pipe, Lines& lines)
{
    Poco::PipeInputStream in(pipe);
    std::string line;
    char c = 0;
    while (in.get(c))
    {
        if (c != '\n' && c != '\r')
        {
            line += c;
            continue;
        }
        if (line.empty())
            continue;
        const std::lock_guard<std::mutex> lock(_mutex);
        lines.text.push_back(line);
        line.clear();
        _changed.notify_all();
    }
    const std::lock_guard<std::mutex> lock(_mutex);
    if (!line.empty())
        lines.text.push_back(line);
    lines.ended = true;
    _changed.notify_all();
}

bool ChildProcess::waitFor(Stream stream, const Condition& condition, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(_mutex);
    const Lines& lines = linesOf(stream);
    return _changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [&] { return condition(lines.text) || lines.ended; }) &&
           condition(lines.text);
}

bool ChildProcess::waitForLineStarting(Stream stream, const std::string& prefix, int timeoutMs)
{
    const auto starts = [&prefix](const std::string& line)
    { return line.compare(0, prefix.size(), prefix) == 0; };
    return waitFor(
        stream,
        [&](const std::vector<std::string>& lines)
        { return std::any_of(lines.begin(), lines.end(), starts); },
        timeoutMs);
}

std::vector<std::string> ChildProcess::lines(Stream stream) const
{
    const std::lock_guard<std::mutex> lock(_mutex);
    return stream == Stream::OUTPUT ? _output.text : _error.text;
}

std::string ChildProcess::errorText() const
{
    std::string text;
    for (const std::string& line : lines(Stream::ERROR))
        text += line + "\n";
    return text;
}

void ChildProcess::writeLine(const std::string& line)
{
    const std::string text = line + "\n";
    _inPipe.writeBytes(text.data(), static_cast<int>(text.size()));
}

void ChildProcess::closeInput()
{
    _inPipe.close(Poco::Pipe::CLOSE_WRITE);
}

int ChildProcess::wait(int timeoutMs)
{
    if (!_process)
        return _exitCode;
    const Poco::Timestamp started;
    while (true)
    {
        const int code = _process->tryWait();
        if (code != -1)
        {
            _exitCode = code;
            _process.reset();
            return _exitCode;
        }
        if (started.isElapsed(static_cast<Poco::Timestamp::TimeDiff>(timeoutMs) * 1000))
            return -1;
        Poco::Thread::sleep(10);
    }
}

int ChildProcess::stop(int graceMs)
{
    if (!_process)
        return _exitCode;
    closeInput();
    try
    {
        Poco::Process::requestTermination(_process->id());
    }
    catch (const Poco::Exception&)
    {
        // Already gone; wait() collects it.
    }
    if (wait(graceMs) == -1)
        kill();
    return _exitCode;
}

int ChildProcess::kill()
{
    if (!_process)
        return _exitCode;
    Poco::Process::kill(*_process);
    _exitCode = _process->wait();
    _process.reset();
    return _exitCode;
}

void ChildProcess::joinReaders()
{
    if (_outputReader.joinable())
        _outputReader.join();
    if (_errorReader.joinable())
        _errorReader.join();
}

}  // namespace Orvik::Test
