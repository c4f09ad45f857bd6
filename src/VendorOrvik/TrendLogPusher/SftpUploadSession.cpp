#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SftpUploadSession.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/Net/NetException.h>
#include <Poco/Path.h>
#include <Poco/RegularExpression.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <libssh/libssh.h>
#include <libssh/sftp.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

const unsigned int SSH_PORT = 22;
/// Big enough that the round trip of each write (the server confirms it) does not dominate.
const std::size_t WRITE_CHUNK = 32768;

std::mutex settingsMutex;
DataSftpSettings processSettings;

void freeSsh(ssh_session_struct* pSession)
{
    ssh_disconnect(pSession);
    ssh_free(pSession);
}

void freeSftp(sftp_session_struct* pSftp)
{
    sftp_free(pSftp);
}

/// A blocking call on the connection, bounded by the watchdog.
struct Bounded
{
    explicit Bounded(ConnectionWatchdog& watchdog) : watchdog(watchdog) { watchdog.arm(); }
    ~Bounded() { watchdog.disarm(); }
    Bounded(const Bounded&) = delete;
    Bounded& operator=(const Bounded&) = delete;

    ConnectionWatchdog& watchdog;
};

/// Writes the document to an open remote file in chunks, each confirmed by the server before the next;
/// a refused write fails the stream.
class SftpWriteBuffer : public std::streambuf
{
public:
    SftpWriteBuffer(sftp_file file, ConnectionWatchdog& watchdog)
        : _file(file), _watchdog(watchdog), _chunk(WRITE_CHUNK)
    {
        setp(_chunk.data(), _chunk.data() + _chunk.size());
    }

protected:
    int_type overflow(int_type c) override
    {
        if (!writeChunk())
        {
            return traits_type::eof();
        }
        if (!traits_type::eq_int_type(c, traits_type::eof()))
        {
            sputc(traits_type::to_char_type(c));
        }
        return traits_type::not_eof(c);
    }
    int sync() override { return writeChunk() ? 0 : -1; }

private:
    bool writeChunk()
    {
        const Bounded bounded(_watchdog);
        for (const char* pNext = pbase(); pNext < pptr();)
        {
            const ssize_t written = sftp_write(_file, pNext, static_cast<std::size_t>(pptr() - pNext));
            if (written <= 0)
            {
                return false;
            }
            pNext += written;
        }
        setp(_chunk.data(), _chunk.data() + _chunk.size());
        return true;
    }

    sftp_file _file;
    ConnectionWatchdog& _watchdog;
    std::vector<char> _chunk;
};

std::string knownHostsFileOf(const DataSftpSettings& settings)
{
    return settings.knownHostsFile.empty()
               ? Poco::Path(Poco::Path::home()).append(".ssh/known_hosts").toString()
               : settings.knownHostsFile;
}

unsigned int portOf(const Poco::URI& server)
{
    return server.getSpecifiedPort() != 0 ? server.getSpecifiedPort() : SSH_PORT;
}

/// The directory parameter as FTP takes it; else the address's path (absolute, or after "/~/" relative
/// to the login directory); "" for the login directory.
std::string uploadDirectory(const Poco::URI& server, const std::string& directory)
{
    std::string path = directory.empty() ? server.getPath() : directory;
    if (directory.empty() && (path == "/~" || path.rfind("/~/", 0) == 0))
    {
        path.erase(0, std::min<std::size_t>(path.size(), 3));
    }
    while (path.size() > 1 && path.back() == '/')
    {
        path.pop_back();
    }
    return path;
}

/// The user of the login: the user parameter, else the user named in the address.
std::string loginUser(const Poco::URI& server, const std::string& userParameter)
{
    return userParameter.empty() ? server.getUserInfo() : userParameter;
}

}  // namespace

const std::string SftpUploadSession::_SCHEME = "sftp";

void SftpUploadSession::setSettings(const DataSftpSettings& settings)
{
    const std::lock_guard<std::mutex> lock(settingsMutex);
    processSettings = settings;
}

DataSftpSettings SftpUploadSession::settings()
{
    const std::lock_guard<std::mutex> lock(settingsMutex);
    return processSettings;
}

std::string SftpUploadSession::problemWithKeyFile(const std::string& path)
{
    struct stat status = {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    {
        return path + " is no file";
    }
    // As ssh does: a key that others can read is no longer the gateway's alone.
    if ((status.st_mode & (S_IRWXG | S_IRWXO)) != 0)
    {
        return path + " is open to other users than its owner (chmod 600 " + path + ")";
    }
    if (::access(path.c_str(), R_OK) != 0)
    {
        return path + " cannot be read by the user the gateway runs as";
    }
    return "";
}

bool SftpUploadSession::isFingerprint(const std::string& text)
{
    static const Poco::RegularExpression form("^SHA256:[A-Za-z0-9+/]{43}$");
    return form.match(text);
}

SftpUploadSession::SftpUploadSession(const Poco::URI& server, const DataFtpServer& ftp,
                                     const DataPusherTimings& timings)
    : _server(server.getHost() + ":" + std::to_string(portOf(server))),
      _directory(uploadDirectory(server, ftp.directory)),
      _watchdog(Poco::Timespan(static_cast<Poco::Timespan::TimeDiff>(timings.ftpSessionTimeoutMs) * 1000)),
      _pSsh(ssh_new(), freeSsh),
      _pSftp(nullptr, freeSftp)
{
    const std::string user = loginUser(server, ftp.userId);
    if (user.empty())
    {
        throw Poco::InvalidArgumentException("SFTP server " + _server +
                                             ": no user to log in as (the user parameter or user@ in "
                                             "the address)");
    }
    const DataSftpSettings current = settings();
    connect(server, user, timings, current);
    checkHostKey(current);
    logIn(user, ftp.password, current.privateKeyFile);
    startSftp();
}

SftpUploadSession::~SftpUploadSession()
{
    closeFile();
    _watchdog.watch(-1);  // the number may serve another connection once the session is freed
}

void SftpUploadSession::connect(const Poco::URI& server, const std::string& user,
                                const DataPusherTimings& timings, const DataSftpSettings& settings)
{
    if (!_pSsh)
    {
        throw Poco::OutOfMemoryException("SSH session");
    }
    ssh_session session = _pSsh.get();
    const unsigned int port = portOf(server);
    const std::string knownHosts = knownHostsFileOf(settings);
    const bool processConfig = false;  // the gateway's options only, no ~/.ssh/config
    // Each write waits for the server's answer: without it, Nagle's algorithm and the server's delayed
    // acknowledgement hold every write back for tens of milliseconds.
    const int noDelay = 1;
    const long connectTimeoutUs = timings.ftpConnectTimeoutMs * 1000L;
    const long connectSeconds = connectTimeoutUs / 1000000;
    const long connectRestUs = connectTimeoutUs % 1000000;
    if (ssh_options_set(session, SSH_OPTIONS_PROCESS_CONFIG, &processConfig) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_HOST, server.getHost().c_str()) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_PORT, &port) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_USER, user.c_str()) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_NODELAY, &noDelay) != SSH_OK ||
        // The one file: a system-wide file would trust what the gateway's own file does not name.
        ssh_options_set(session, SSH_OPTIONS_KNOWNHOSTS, knownHosts.c_str()) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_GLOBAL_KNOWNHOSTS, knownHosts.c_str()) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_TIMEOUT, &connectSeconds) != SSH_OK ||
        ssh_options_set(session, SSH_OPTIONS_TIMEOUT_USEC, &connectRestUs) != SSH_OK)
    {
        fail("setting up the session");
    }
    if (ssh_connect(session) != SSH_OK)
    {
        fail("connection");
    }
    // From here on libssh would retry a timed-out wait for an answer for good: the watchdog bounds it.
    _watchdog.watch(ssh_get_fd(session));
}

void SftpUploadSession::checkHostKey(const DataSftpSettings& settings)
{
    const std::string offered = offeredFingerprint();
    if (!settings.hostKeyFingerprint.empty())
    {
        if (offered != settings.hostKeyFingerprint)
        {
            throw Poco::Net::NetException("SFTP server " + _server + " offered the host key " + offered +
                                          ", not the pinned " + settings.hostKeyFingerprint);
        }
        return;
    }
    const std::string knownHosts = knownHostsFileOf(settings);
    switch (ssh_session_is_known_server(_pSsh.get()))
    {
        case SSH_KNOWN_HOSTS_OK:
            return;
        case SSH_KNOWN_HOSTS_CHANGED:
        case SSH_KNOWN_HOSTS_OTHER:
            throw Poco::Net::NetException("SFTP server " + _server + " offered the host key " + offered +
                                          ", which differs from its key in " + knownHosts +
                                          " (a changed server, or another one in its place)");
        case SSH_KNOWN_HOSTS_NOT_FOUND:
        case SSH_KNOWN_HOSTS_UNKNOWN:
            if (settings.trustNewHosts)
            {
                if (ssh_session_update_known_hosts(_pSsh.get()) != SSH_OK)
                {
                    fail("adding the host key " + offered + " to " + knownHosts);
                }
                return;
            }
            throw Poco::Net::NetException("SFTP server " + _server + " offered the host key " + offered +
                                          ", which is not in " + knownHosts);
        default:
            fail("reading the known hosts " + knownHosts);
    }
}

std::string SftpUploadSession::offeredFingerprint()
{
    ssh_key key = nullptr;
    if (ssh_get_server_publickey(_pSsh.get(), &key) != SSH_OK)
    {
        fail("reading the host key");
    }
    unsigned char* pHash = nullptr;
    std::size_t length = 0;
    const int hashed = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &pHash, &length);
    ssh_key_free(key);
    if (hashed != SSH_OK)
    {
        fail("hashing the host key");
    }
    char* pText = ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, pHash, length);
    ssh_clean_pubkey_hash(&pHash);
    if (pText == nullptr)
    {
        throw Poco::OutOfMemoryException("host key fingerprint");
    }
    const std::string fingerprint(pText);
    ssh_string_free_char(pText);
    return fingerprint;
}

void SftpUploadSession::logIn(const std::string& user, const std::string& password,
                              const std::string& keyFile)
{
    if (!keyFile.empty() && logInWithKey(keyFile))
    {
        return;
    }
    if (!password.empty())
    {
        const Bounded bounded(_watchdog);
        const int result = ssh_userauth_password(_pSsh.get(), nullptr, password.c_str());
        if (result == SSH_AUTH_SUCCESS)
        {
            return;
        }
        if (result == SSH_AUTH_ERROR)
        {
            fail("password login");
        }
    }
    if (keyFile.empty() && password.empty())
    {
        throw Poco::InvalidArgumentException("SFTP server " + _server +
                                             ": neither a password nor a private key file to log in with");
    }
    throw Poco::Net::NetException("SFTP server " + _server + " refused the login of " + user + " with " +
                                  (keyFile.empty()    ? "the password"
                                   : password.empty() ? "the key of " + keyFile
                                                      : "the key of " + keyFile + " and the password"));
}

bool SftpUploadSession::logInWithKey(const std::string& keyFile)
{
    const std::string problem = problemWithKeyFile(keyFile);
    if (!problem.empty())
    {
        throw Poco::InvalidArgumentException("SFTP private key file " + problem);
    }
    ssh_key key = nullptr;
    if (ssh_pki_import_privkey_file(keyFile.c_str(), nullptr, nullptr, nullptr, &key) != SSH_OK)
    {
        throw Poco::InvalidArgumentException("SFTP private key file " + keyFile +
                                             " holds no private key that can be read without a passphrase");
    }
    int result = SSH_AUTH_ERROR;
    {
        const Bounded bounded(_watchdog);
        result = ssh_userauth_publickey(_pSsh.get(), nullptr, key);
    }
    ssh_key_free(key);
    if (result == SSH_AUTH_ERROR)
    {
        fail("key login");
    }
    return result == SSH_AUTH_SUCCESS;
}

void SftpUploadSession::startSftp()
{
    const Bounded bounded(_watchdog);
    _pSftp.reset(sftp_new(_pSsh.get()));
    if (!_pSftp || sftp_init(_pSftp.get()) != SSH_OK)
    {
        fail("starting SFTP");
    }
}

std::ostream& SftpUploadSession::beginUpload(const std::string& name)
{
    closeFile();
    {
        const Bounded bounded(_watchdog);
        _pFile = sftp_open(_pSftp.get(), remotePath(name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (_pFile == nullptr)
    {
        fail("creating " + remotePath(name));
    }
    _pBuffer = std::make_unique<SftpWriteBuffer>(_pFile, _watchdog);
    _pStream = std::make_unique<std::ostream>(_pBuffer.get());
    return *_pStream;
}

void SftpUploadSession::endUpload()
{
    if (_pStream->flush().fail())
    {
        fail("writing the document");
    }
    sftp_file file = _pFile;
    _pFile = nullptr;
    const Bounded bounded(_watchdog);
    if (sftp_close(file) != SSH_OK)
    {
        fail("completing the document");
    }
}

void SftpUploadSession::throwIfTransferBroke()
{
    // Only a refused write makes the stream bad; the writer's own failures leave it good.
    if (_pStream && _pStream->bad())
    {
        fail("writing the document");
    }
}

void SftpUploadSession::rename(const std::string& from, const std::string& to)
{
    // The protocol's own rename: it refuses an existing target, never replacing a document, and OpenSSH
    // makes the name appear at once (link, then unlink). libssh 0.10 cannot send the posix-rename
    // extension; nothing here needs to replace, as every attempt has a name of its own.
    const Bounded bounded(_watchdog);
    if (sftp_rename(_pSftp.get(), remotePath(from).c_str(), remotePath(to).c_str()) != SSH_OK)
    {
        fail("renaming " + remotePath(from) + " to " + remotePath(to));
    }
}

void SftpUploadSession::discard(const std::string& name) noexcept
{
    closeFile();
    if (_pSftp && _pSsh && ssh_is_connected(_pSsh.get()) != 0)
    {
        const Bounded bounded(_watchdog);
        sftp_unlink(_pSftp.get(), remotePath(name).c_str());  // a failure leaves only a temporary name
    }
}

void SftpUploadSession::close()
{
    closeFile();
    if (ssh_is_connected(_pSsh.get()) == 0)
    {
        fail("the session");
    }
    _watchdog.watch(-1);
    _pSftp.reset();
    _pSsh.reset();
}

void SftpUploadSession::closeFile()
{
    _pStream.reset();
    _pBuffer.reset();
    if (_pFile != nullptr)
    {
        const Bounded bounded(_watchdog);
        sftp_close(_pFile);
        _pFile = nullptr;
    }
}

std::string SftpUploadSession::remotePath(const std::string& name) const
{
    if (_directory.empty())
    {
        return name;
    }
    return _directory.back() == '/' ? _directory + name : _directory + "/" + name;
}

void SftpUploadSession::fail(const std::string& what) const
{
    if (_watchdog.fired())
    {
        throw Poco::TimeoutException("SFTP server " + _server + ": " + what + " failed: no answer within " +
                                     std::to_string(_watchdog.timeout().totalMilliseconds()) + " ms");
    }
    throw Poco::Net::NetException("SFTP server " + _server + ": " + what +
                                  " failed: " + (_pSsh ? ssh_get_error(_pSsh.get()) : "no session"));
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
