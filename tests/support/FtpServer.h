#pragma once

#include <Poco/Process.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Orvik
{
namespace Test
{

/// Faults that the test FTP server can be told to inject, one at a time.
enum class FtpFault
{
    NONE,               ///< normal behaviour
    REFUSE_LOGIN,       ///< PASS is answered with 530
    REFUSE_STORE,       ///< STOR is answered with 550
    DROP_DATA,          ///< the data connection of a STOR is closed after a number of bytes
    REFUSE_COMPLETION,  ///< a complete STOR is answered with 451 instead of 226
    REFUSE_RENAME       ///< RNTO is answered with 550
};

/// A real FTP server (pyftpdlib, run with Debian's /usr/bin/python3) on a free port of
/// 127.0.0.1, serving a temporary root folder that the test can inspect.
///
/// The server is started by the constructor, which returns once the server listens, and
/// is killed by the destructor, which also removes the root and control folders.
/// With a user name the server requires USER/PASS with that name and password; with an
/// empty user name it accepts commands without any login, on the root folder.
/// Faults take effect from the next FTP command or data block on.
class FtpServer
{
public:
    explicit FtpServer(const std::string& user = "orvik", const std::string& password = "secret");
    ~FtpServer();

    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    std::uint16_t port() const { return _port; }
    /// "ftp://127.0.0.1:<port>"
    std::string url() const;
    const std::string& rootPath() const { return _rootPath; }

    /// Sets the fault for the following commands; `afterBytes` is used by DROP_DATA.
    void setFault(FtpFault fault, std::size_t afterBytes = 0);

    /// Names of the regular files in `folder` (relative to the root), sorted.
    std::vector<std::string> files(const std::string& folder = "") const;
    /// Content of the file `name` (relative to the root); throws Poco::FileNotFoundException.
    std::string readFile(const std::string& name) const;
    /// The commands received so far, one entry per command, PASS arguments masked.
    std::vector<std::string> commands() const;

private:
    std::string _tempPath;
    std::string _rootPath;
    std::string _controlFile;
    std::string _commandLog;
    std::unique_ptr<Poco::ProcessHandle> _process;
    std::uint16_t _port = 0;
};

}  // namespace Test
}  // namespace Orvik
