#pragma once

#include <Poco/TemporaryFile.h>

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Orvik::Test
{

class ChildProcess;

/// OpenSSH's sshd on a free port of 127.0.0.1 serving SFTP only (internal-sftp), for one user, _USER,
/// whose login directory is a temporary folder holding two empty folders: "upload" and "full", a file
/// system of 64 KiB (full once a document is larger). Its host key and a key authorised for the user
/// are made by ssh-keygen at start. The password is checked against a passwd and shadow file of the
/// fixture's own, which only sshd sees (bind-mounted in a mount namespace of its own), so the
/// machine's users stay untouched.
///
/// Needs root, unshare, sshd, ssh-keygen and openssl: tests call missing() first and skip with its
/// text when it is not empty. The constructor returns once the server listens (or throws); the
/// destructor ends the server with its sessions and removes its folder.
class SshServer
{
public:
    static const std::string _USER;

    static std::string missing();

    explicit SshServer(const std::string& password = "secret");
    ~SshServer();

    SshServer(const SshServer&) = delete;
    SshServer& operator=(const SshServer&) = delete;

    std::uint16_t port() const { return _port; }
    /// "sftp://127.0.0.1:<port>"
    std::string url() const;
    /// The line of a known hosts file that names this server's host key.
    std::string knownHostsLine() const;
    /// The host key's "SHA256:..." fingerprint, as ssh-keygen -l prints it.
    const std::string& fingerprint() const { return _fingerprint; }
    /// A private key (mode 0600) that the server accepts for _USER.
    std::string clientKeyFile() const { return _folder + "/client_key"; }
    /// The login directory.
    std::string home() const { return _folder + "/home"; }

    /// Names of the regular files in `folder` (relative to the login directory), sorted.
    std::vector<std::string> files(const std::string& folder = "") const;
    /// Content of the file `name` (relative to the login directory).
    std::string readFile(const std::string& name) const;

    /// Sends `signal` to every session process: SIGKILL drops their connections as a crash would,
    /// SIGSTOP makes a server that no longer reads or answers.
    void signalSessions(int signal);
    /// Kills the server with its sessions and starts it again, with the same keys on the same port.
    void restart();

private:
    void start();
    void stop();
    std::vector<pid_t> sessions() const;
    /// The path of `name` (relative to the login directory) as sshd sees it.
    std::string seenBySshd(const std::string& name) const;

    Poco::TemporaryFile _temporaryFolder;  // removed after the server is ended
    std::string _folder = _temporaryFolder.path();
    std::uint16_t _port = 0;
    std::string _fingerprint;
    std::unique_ptr<ChildProcess> _pDaemon;
};

}  // namespace Orvik::Test
