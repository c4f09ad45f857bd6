#pragma once

#include "ChildProcess.h"

#include <Poco/TemporaryFile.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::Test
{

class TlsCertificates;

/// Faults that the test FTP server can be told to inject, one at a time (FtpServer.cpp names them in this
/// order for ftp_server.py).
enum class FtpFault
{
    NONE,               ///< normal behaviour
    REFUSE_SESSION,     ///< a new control connection is greeted with 421 and closed
    REFUSE_LOGIN,       ///< PASS is answered with 530
    REFUSE_STORE,       ///< STOR is answered with 550
    DROP_DATA,          ///< the data connection of a STOR is closed after a number of bytes
    REFUSE_COMPLETION,  ///< a complete STOR is answered with 451 instead of 226
    REFUSE_RENAME,      ///< RNTO is answered with 550
    STALL_DATA          ///< the data connection of a STOR is no longer read after a number of bytes
};

/// A real FTP server on a free port of 127.0.0.1, serving a temporary root folder that
/// the test can inspect. The root holds an empty, writable folder "upload".
///
/// PYFTPDLIB runs pyftpdlib with Debian's /usr/bin/python3. With a user name it requires
/// USER/PASS with that name and password; with an empty user name it accepts commands
/// without any login, on the root folder. Faults take effect from the next connection, FTP command
/// or data block on.
///
/// VSFTPD runs /usr/sbin/vsftpd (needs root) for the anonymous user only: the login is
/// "anonymous" with any password, the root is read-only, "upload" is writable. It injects
/// no faults and keeps no command log.
///
/// With server certificates (PYFTPDLIB only) it is an explicit FTPS server that requires TLS on the
/// control and data connections; data connections then take no faults.
///
/// The constructor returns once the server listens (or throws); the destructor kills the
/// server and removes its folders.
class FtpServer
{
public:
    enum class Engine
    {
        PYFTPDLIB,
        VSFTPD
    };

    explicit FtpServer(const std::string& user = "orvik", const std::string& password = "secret",
                       Engine engine = Engine::PYFTPDLIB, const TlsCertificates* pTls = nullptr);
    ~FtpServer();

    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    /// True when this machine can run the VSFTPD engine (the program exists, we are root).
    static bool vsftpdAvailable();

    std::uint16_t port() const { return _port; }
    /// "ftp://127.0.0.1:<port>", or "ftps://..." with TLS
    std::string url() const;

    /// Sets the fault for the following commands; `afterBytes` is used by DROP_DATA and STALL_DATA.
    /// Throws Poco::NotImplementedException for VSFTPD.
    void setFault(FtpFault fault, std::size_t afterBytes = 0);

    /// Names of the regular files in `folder` (relative to the root), sorted.
    std::vector<std::string> files(const std::string& folder = "") const;
    /// Content of the file `name` (relative to the root); throws Poco::FileNotFoundException.
    std::string readFile(const std::string& name) const;
    /// The commands received so far, one entry per command, PASS arguments masked.
    std::vector<std::string> commands() const;

private:
    void startPyftpdlib(const std::string& user, const std::string& password, const TlsCertificates* pTls);
    void startVsftpd();
    void waitForGreeting() const;

    Engine _engine;
    Poco::TemporaryFile _temporaryFolder;  // removed after the server is killed
    std::string _tempPath = _temporaryFolder.path();
    std::string _rootPath;
    std::string _controlFile;
    std::string _commandLog;
    std::unique_ptr<ChildProcess> _process;
    std::uint16_t _port = 0;
    bool _secure = false;
};

}  // namespace Orvik::Test
