#include "SshServer.h"

#include "ChildProcess.h"
#include "FreePort.h"
#include "TextFile.h"

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Process.h>
#include <Poco/StringTokenizer.h>

#include <algorithm>
#include <csignal>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

namespace Orvik::Test
{

namespace
{

const std::string SSHD = "/usr/sbin/sshd";

/// Runs a tool to its end and returns its output lines; throws with its error output when it fails.
std::vector<std::string> run(const std::string& program, const std::vector<std::string>& args)
{
    ChildProcess process(program, args);
    if (process.wait(30000) != 0)
        throw Poco::RuntimeException(program + " failed", process.errorText());
    process.waitFor(
        ChildProcess::Stream::OUTPUT, [](const std::vector<std::string>&) { return false; }, 5000);
    return process.lines(ChildProcess::Stream::OUTPUT);
}

std::string word(const std::string& line, std::size_t index)
{
    const Poco::StringTokenizer words(line, " ", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
    return index < words.count() ? words[index] : "";
}

/// Parent of each process, from /proc.
std::map<pid_t, pid_t> parents()
{
    std::map<pid_t, pid_t> parentOf;
    for (Poco::DirectoryIterator it(std::string("/proc")), end; it != end; ++it)
    {
        if (it.name().find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string stat;
        try
        {
            stat = readFile(it->path() + "/stat");
        }
        catch (const Poco::Exception&)
        {
            continue;  // ended meanwhile
        }
        const std::size_t nameEnd = stat.rfind(')');
        if (nameEnd != std::string::npos)
            parentOf[static_cast<pid_t>(std::stol(it.name()))] =
                static_cast<pid_t>(std::stol(word(stat.substr(nameEnd + 1), 1)));
    }
    return parentOf;
}

}  // namespace

const std::string SshServer::_USER = "orvik-sftp-test";

std::string SshServer::missing()
{
    if (::geteuid() != 0)
        return "the SSH server's password login needs root";
    for (const std::string program : {"unshare", "sshd", "ssh-keygen", "openssl"})
    {
        if (ChildProcess::locate(program).empty())
            return program + " is not installed";
    }
    return "";
}

SshServer::SshServer(const std::string& password) : _port(freeLoopbackPort())
{
    Poco::File(home() + "/.ssh").createDirectories();
    Poco::File(home() + "/upload").createDirectories();
    Poco::File(home() + "/full").createDirectories();
    ::chmod(_folder.c_str(), 0755);
    ::chmod((home() + "/.ssh").c_str(), 0700);
    // sshd's privilege separation folder, which a machine without a running sshd may lack.
    Poco::File("/run/sshd").createDirectories();
    for (const std::string key : {"host_key", "client_key"})
        run("ssh-keygen", {"-q", "-t", "ed25519", "-N", "", "-C", "", "-f", _folder + "/" + key});
    writeFile(home() + "/.ssh/authorized_keys", Orvik::Test::readFile(clientKeyFile() + ".pub"));
    ::chmod((home() + "/.ssh/authorized_keys").c_str(), 0600);
    _fingerprint = word(run("ssh-keygen", {"-l", "-E", "sha256", "-f", _folder + "/host_key.pub"}).at(0), 1);

    // The user, as root (uid 0) in the fixture's own passwd and shadow.
    const std::string hash = run("openssl", {"passwd", "-6", password}).at(0);
    writeFile(_folder + "/passwd",
              Orvik::Test::readFile("/etc/passwd") + _USER + ":x:0:0::" + home() + ":/usr/sbin/nologin\n");
    writeFile(_folder + "/shadow",
              Orvik::Test::readFile("/etc/shadow") + _USER + ":" + hash + ":19000:0:99999:7:::\n");
    ::chmod((_folder + "/shadow").c_str(), 0600);
    writeFile(_folder + "/sshd_config",
              "ListenAddress 127.0.0.1:" + std::to_string(_port) + "\nHostKey " + _folder +
                  "/host_key\nPidFile none\nUsePAM no\nPasswordAuthentication yes\n"
                  "KbdInteractiveAuthentication no\nPubkeyAuthentication yes\nPermitRootLogin yes\n"
                  "StrictModes yes\nAuthorizedKeysFile .ssh/authorized_keys\nSubsystem sftp internal-sftp\n"
                  "ForceCommand internal-sftp\nAllowTcpForwarding no\nX11Forwarding no\nMaxStartups 100\n");
    start();
}

SshServer::~SshServer()
{
    stop();
}

void SshServer::start()
{
    // passwd and shadow are replaced for sshd alone: a mount namespace of its own.
    _pDaemon = std::make_unique<ChildProcess>(
        "unshare",
        std::vector<std::string>{"--mount", "--propagation", "private", "/bin/sh", "-c",
                                 "mount --bind \"$1\" /etc/passwd && mount --bind \"$2\" /etc/shadow "
                                 "&& mount -t tmpfs -o size=64k tmpfs \"$4\" && exec " +
                                     SSHD + " -D -e -f \"$3\"",
                                 "sshd", _folder + "/passwd", _folder + "/shadow", _folder + "/sshd_config",
                                 home() + "/full"});
    if (!_pDaemon->waitForLineStarting(ChildProcess::Stream::ERROR, "Server listening", 10000))
        throw Poco::RuntimeException("test SSH server did not start", _pDaemon->errorText());
}

void SshServer::stop()
{
    signalSessions(SIGKILL);
    _pDaemon.reset();
}

std::vector<pid_t> SshServer::sessions() const
{
    // Every process under the listening sshd: per connection a monitor and its session.
    const std::map<pid_t, pid_t> parentOf = parents();
    std::vector<pid_t> found{static_cast<pid_t>(_pDaemon->id())};
    for (std::size_t i = 0; i < found.size(); ++i)
    {
        for (const auto& [pid, parent] : parentOf)
        {
            if (parent == found[i])
                found.push_back(pid);
        }
    }
    found.erase(found.begin());
    return found;
}

void SshServer::signalSessions(int signal)
{
    if (!_pDaemon || _pDaemon->id() == 0)
        return;
    for (pid_t pid : sessions())
        ::kill(pid, signal);
}

void SshServer::restart()
{
    stop();
    start();
}

std::string SshServer::url() const
{
    return "sftp://127.0.0.1:" + std::to_string(_port);
}

std::string SshServer::knownHostsLine() const
{
    const std::string key = Orvik::Test::readFile(_folder + "/host_key.pub");
    return "[127.0.0.1]:" + std::to_string(_port) + " " + word(key, 0) + " " + word(key, 1) + "\n";
}

std::string SshServer::seenBySshd(const std::string& name) const
{
    // "full" is mounted in sshd's namespace only: its files are seen through sshd's root.
    const std::string root =
        _pDaemon && _pDaemon->id() != 0 ? "/proc/" + std::to_string(_pDaemon->id()) + "/root" : "";
    return root + home() + (name.empty() ? "" : "/" + name);
}

std::vector<std::string> SshServer::files(const std::string& folder) const
{
    std::vector<std::string> names;
    for (Poco::DirectoryIterator it(seenBySshd(folder)), end; it != end; ++it)
    {
        if (it->isFile())
            names.push_back(it.name());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string SshServer::readFile(const std::string& name) const
{
    return Orvik::Test::readFile(seenBySshd(name));
}

}  // namespace Orvik::Test
