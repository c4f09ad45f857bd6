#pragma once

#include <Poco/Pipe.h>
#include <Poco/Process.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Orvik::Test
{

/// A program run by a test fixture, with its standard input, output and error as pipes.
///
/// Two threads read the output and the error stream line by line (a line ends at a line feed or a
/// carriage return; empty lines are dropped), so that a fixture can wait for a line that the
/// program prints, while the program runs. `writeLine`
/// feeds its input; `closeInput` ends it. `stop()` asks the program to end (end of input, then
/// SIGINT), kills it when it does not end within the grace time, and returns its exit code; the
/// destructor does the same. SIGPIPE is ignored in the test process, so that writing to a program
/// that has ended gives an exception instead of ending the test process.
///
/// The program is looked up in PATH; it starts in `directory` (or the current one) with the
/// environment of the test process.
class ChildProcess
{
public:
    enum class Stream
    {
        OUTPUT,
        ERROR
    };
    using Condition = std::function<bool(const std::vector<std::string>& lines)>;

    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& directory = "");
    ~ChildProcess();

    /// The full path of `program` found in PATH (and the sbin folders), or "" when there is none.
    static std::string locate(const std::string& program);

    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    /// Waits until `condition` holds for the lines of `stream` read so far. False when the time ran
    /// out or the stream ended without the condition holding.
    bool waitFor(Stream stream, const Condition& condition, int timeoutMs);
    /// Waits until a line of `stream` starts with `prefix`.
    bool waitForLineStarting(Stream stream, const std::string& prefix, int timeoutMs);
    std::vector<std::string> lines(Stream stream) const;
    /// The error stream as one text, for failure messages.
    std::string errorText() const;

    void writeLine(const std::string& line);
    void closeInput();
    /// Waits up to `timeoutMs` for the program to end by itself; its exit code, or -1 when it still runs.
    int wait(int timeoutMs);
    int stop(int graceMs = 5000);
    /// Ends the program at once (SIGKILL), as a power cut would; returns its exit code.
    int kill();
    /// The program's process id while it runs, else 0.
    Poco::ProcessHandle::PID id() const { return _process ? _process->id() : 0; }

private:
    struct Lines
    {
        std::vector<std::string> text;
        bool ended = false;
    };

    void readLines(Poco::Pipe& pipe, Lines& lines);
    Lines& linesOf(Stream stream) { return stream == Stream::OUTPUT ? _output : _error; }
    void joinReaders();

    Poco::Pipe _inPipe;
    Poco::Pipe _outPipe;
    Poco::Pipe _errPipe;
    std::unique_ptr<Poco::ProcessHandle> _process;
    int _exitCode = -1;
    mutable std::mutex _mutex;
    std::condition_variable _changed;
    Lines _output;
    Lines _error;
    std::thread _outputReader;
    std::thread _errorReader;
};

}  // namespace Orvik::Test
