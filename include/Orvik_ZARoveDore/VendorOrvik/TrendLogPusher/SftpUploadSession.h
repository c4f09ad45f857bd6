#pragma once

#include <Poco/URI.h>

#include <memory>
#include <streambuf>

#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ConnectionWatchdog.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataFtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataPusherTimings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DataSftpSettings.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/UploadSession.h"

struct ssh_session_struct;
struct sftp_session_struct;
struct sftp_file_struct;

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// An upload session over SFTP (libssh), for an "sftp://[user@]host[:port][/dir]" address (port 22
/// unless given). The constructor connects, checks the server's host key before anything else is
/// sent, logs in and starts SFTP:
/// - the host key must match the pinned fingerprint, or else be in the known hosts for this host and
///   port (settings()); an unknown or changed key fails with a message naming the server and the
///   SHA256 fingerprint it offered. Only settings().trustNewHosts adds an unknown host's key.
/// - the login is as the user parameter (or the address's user), with the private key file of
///   settings() first, then with the password; a key file that others may read is refused.
/// - the files go to the directory parameter, or else to the address's path (absolute; "/~/dir" is
///   relative to the login directory), or else to the login directory.
/// The connect time-out bounds the connection and key exchange, the session time-out each later call
/// that waits for the server (ConnectionWatchdog). rename() refuses an existing target.
class SftpUploadSession : public UploadSession
{
public:
    /// The scheme of an SFTP server address.
    static const std::string _SCHEME;

    /// The settings of every session of the process from the next one on. Set by the host program at
    /// start; tests that change them put the previous ones back.
    static void setSettings(const DataSftpSettings& settings);
    static DataSftpSettings settings();
    /// Why `path` cannot serve as the private key file (missing, readable or writable by others than
    /// its owner, or unreadable for this process), or "" when it can.
    static std::string problemWithKeyFile(const std::string& path);
    /// True for "SHA256:" and the 43 base64 characters of a SHA-256 hash, as ssh-keygen -l prints it.
    static bool isFingerprint(const std::string& text);

    /// Throws Poco::InvalidArgumentException when no user is named, Poco::Net::NetException when the
    /// server cannot be reached, its host key is not trusted, the login or SFTP is refused.
    SftpUploadSession(const Poco::URI& server, const DataFtpServer& ftp, const DataPusherTimings& timings);
    ~SftpUploadSession() override;

    std::ostream& beginUpload(const std::string& name) override;
    void endUpload() override;
    void throwIfTransferBroke() override;
    void rename(const std::string& from, const std::string& to) override;
    void discard(const std::string& name) noexcept override;
    void close() override;

private:
    void connect(const Poco::URI& server, const std::string& user, const DataPusherTimings& timings,
                 const DataSftpSettings& settings);
    void checkHostKey(const DataSftpSettings& settings);
    std::string offeredFingerprint();
    void logIn(const std::string& user, const std::string& password, const std::string& keyFile);
    bool logInWithKey(const std::string& keyFile);
    void startSftp();
    void closeFile();
    std::string remotePath(const std::string& name) const;
    /// Throws Poco::Net::NetException: `what` failed, with libssh's reason.
    [[noreturn]] void fail(const std::string& what) const;

    std::string _server;  ///< "host:port", for messages
    std::string _directory;
    ConnectionWatchdog _watchdog;
    std::unique_ptr<ssh_session_struct, void (*)(ssh_session_struct*)> _pSsh;
    std::unique_ptr<sftp_session_struct, void (*)(sftp_session_struct*)> _pSftp;
    sftp_file_struct* _pFile = nullptr;
    std::unique_ptr<std::streambuf> _pBuffer;
    std::unique_ptr<std::ostream> _pStream;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
