#include "FtpServer.h"

#include "Eventually.h"
#include "FreePort.h"
#include "TextFile.h"
#include "TlsCertificates.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/DialogSocket.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/NumberParser.h>
#include <Poco/Path.h>

#include <algorithm>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace Orvik::Test
{

namespace
{

/// The control file's word of each fault, in the order of FtpFault.
const char* const FAULT_WORDS[] = {"none",      "refuse-session",    "refuse-login",  "refuse-store",
                                   "drop-data", "refuse-completion", "refuse-rename", "stall-data"};

void writeTextFile(const std::string& path, const std::string& text)
{
    // Written under a side name and renamed, so the server never reads half a line.
    const std::string sidePath = path + ".new";
    {
        Poco::FileOutputStream out(sidePath);
        out << text;
    }
    Poco::File(sidePath).renameTo(path);
}

const std::string _VSFTPD_PROGRAM = "/usr/sbin/vsftpd";

}  // namespace

FtpServer::FtpServer(const std::string& user, const std::string& password, Engine engine,
                     const TlsCertificates* pTls)
    : _engine(engine), _secure(pTls != nullptr)
{
    _rootPath = _tempPath + "/root";
    _controlFile = _tempPath + "/fault";
    _commandLog = _tempPath + "/commands.log";
    Poco::File(_rootPath + "/upload").createDirectories();
    if (engine == Engine::VSFTPD)
        startVsftpd();
    else
        startPyftpdlib(user, password, pTls);
}

bool FtpServer::vsftpdAvailable()
{
    return ::geteuid() == 0 && Poco::File(_VSFTPD_PROGRAM).exists();
}

void FtpServer::startPyftpdlib(const std::string& user, const std::string& password,
                               const TlsCertificates* pTls)
{
    writeTextFile(_controlFile, "none\n");
    const std::string script = std::string(ORVIK_SOURCE_DIR) + "/tests/support/ftp_server.py";
    std::vector<std::string> args{script,       "--root",     _rootPath,  "--control",
                                  _controlFile, "--commands", _commandLog};
    if (!user.empty())
        args.insert(args.end(), {"--user", user, "--password", password});
    if (pTls != nullptr)
        args.insert(args.end(), {"--tls-cert", pTls->serverCertFile(), "--tls-key", pTls->serverKeyFile()});
    // A process forked from this many-threaded one has been seen to hang before it ran Python (under
    // qemu-arm): a start that says nothing within its time is given up and tried once more.
    const std::string announced = "PORT ";
    bool started = false;
    for (int attempt = 0; attempt < 2 && !started; ++attempt)
    {
        _process = std::make_unique<ChildProcess>("/usr/bin/python3", args);
        started = _process->waitForLineStarting(ChildProcess::Stream::OUTPUT, announced, 20000);
    }
    if (!started)
        throw Poco::RuntimeException("test FTP server did not start", _process->errorText());
    const std::vector<std::string> lines = _process->lines(ChildProcess::Stream::OUTPUT);
    const auto line = std::find_if(lines.begin(), lines.end(),
                                   [&](const std::string& text) { return text.rfind(announced, 0) == 0; });
    _port = static_cast<std::uint16_t>(Poco::NumberParser::parseUnsigned(line->substr(announced.size())));
}

void FtpServer::startVsftpd()
{
    // vsftpd refuses a chroot folder that its user can write to: the root stays read-only
    // and only "upload" is open for writing.
    ::chmod((_rootPath + "/upload").c_str(), 0777);
    ::chmod(_rootPath.c_str(), 0555);
    ::chmod(_tempPath.c_str(), 0755);
    _port = freeLoopbackPort();
    const std::string config = _tempPath + "/vsftpd.conf";
    writeTextFile(config,
                  "listen=YES\nlisten_address=127.0.0.1\nlisten_port=" + std::to_string(_port) +
                      "\nlisten_ipv6=NO\nbackground=NO\nanonymous_enable=YES\nno_anon_password=YES\n"
                      "anon_root=" +
                      _rootPath +
                      "\nwrite_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
                      "anon_umask=022\nlocal_enable=NO\npasv_enable=YES\npasv_address=127.0.0.1\n"
                      "secure_chroot_dir=/var/run/vsftpd/empty\nseccomp_sandbox=NO\nxferlog_enable=NO\n");
    Poco::File("/var/run/vsftpd/empty").createDirectories();
    _process = std::make_unique<ChildProcess>(_VSFTPD_PROGRAM, std::vector<std::string>{config});
    waitForGreeting();
}

void FtpServer::waitForGreeting() const
{
    const auto greets = [this]
    {
        try
        {
            Poco::Net::DialogSocket socket(Poco::Net::SocketAddress("127.0.0.1", _port));
            socket.setReceiveTimeout(Poco::Timespan(2, 0));
            std::string greeting;
            return socket.receiveStatusMessage(greeting) == 220;
        }
        catch (const Poco::Exception&)
        {
            return false;  // not listening yet
        }
    };
    if (!eventually(greets, std::chrono::seconds(5)))
        throw Poco::RuntimeException("test FTP server did not start");
}

FtpServer::~FtpServer()
{
    try
    {
        _process->kill();
    }
    catch (const Poco::Exception&)
    {
        // Already gone: nothing left to stop.
    }
}

std::string FtpServer::url() const
{
    return (_secure ? "ftps://127.0.0.1:" : "ftp://127.0.0.1:") + std::to_string(_port);
}

void FtpServer::setFault(FtpFault fault, std::size_t afterBytes)
{
    if (_engine == Engine::VSFTPD)
        throw Poco::NotImplementedException("vsftpd injects no faults");
    writeTextFile(_controlFile, std::string(FAULT_WORDS[static_cast<int>(fault)]) + " " +
                                    std::to_string(afterBytes) + "\n");
}

std::vector<std::string> FtpServer::files(const std::string& folder) const
{
    std::vector<std::string> names;
    std::vector<Poco::File> entries;
    Poco::File(folder.empty() ? _rootPath : _rootPath + "/" + folder).list(entries);
    for (const Poco::File& entry : entries)
    {
        if (entry.isFile())
            names.push_back(Poco::Path(entry.path()).getFileName());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string FtpServer::readFile(const std::string& name) const
{
    return Orvik::Test::readFile(_rootPath + "/" + name);
}

std::vector<std::string> FtpServer::commands() const
{
    std::istringstream log(readFileIfAny(_commandLog));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);)
        lines.push_back(line);
    return lines;
}

}  // namespace Orvik::Test
