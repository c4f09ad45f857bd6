#pragma once

#include <Poco/TemporaryFile.h>

#include <sys/types.h>

#include <string>
#include <vector>

/// The gateway program run by a test: started with the given options (in `workingFolder` when one is
/// given), its standard output and standard error going to files that the test reads at any time.
/// Killed when the object goes, if it still runs.
class DemoGatewayProcess
{
public:
    explicit DemoGatewayProcess(const std::vector<std::string>& options,
                                const std::string& workingFolder = "");
    ~DemoGatewayProcess();
    DemoGatewayProcess(const DemoGatewayProcess&) = delete;
    DemoGatewayProcess& operator=(const DemoGatewayProcess&) = delete;

    /// Waits for the program's end, at most `seconds`. The exit status, 128 + signal when a signal
    /// ended it, or -1 when it still runs.
    int waitForExit(int seconds);
    /// Waits until standard output holds `text`, at most `seconds`; false when it did not come.
    bool waitForOutput(const std::string& text, int seconds) const;
    void sendSignal(int signal) const;

    std::string out() const;
    std::string err() const;

private:
    static std::string readFile(const std::string& path);

    Poco::TemporaryFile _out;
    Poco::TemporaryFile _err;
    pid_t _pid = -1;
    int _status = -1;
};
