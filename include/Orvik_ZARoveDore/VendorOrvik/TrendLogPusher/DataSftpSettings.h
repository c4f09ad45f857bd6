#pragma once

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// How the trend log pushers' SFTP sessions check the servers' host keys and log in, for the whole
/// process (SftpUploadSession::setSettings()).
class DataSftpSettings
{
public:
    /// The OpenSSH known hosts file that a server's host key must be in; empty: ~/.ssh/known_hosts of
    /// the user the process runs as.
    std::string knownHostsFile;
    /// "SHA256:<base64>" as ssh-keygen -l prints it: the one host key accepted, in place of the known
    /// hosts; empty: the known hosts decide.
    std::string hostKeyFingerprint;
    /// A host that is not in the known hosts yet is trusted on first use and added to them; a host
    /// whose key changed still fails.
    bool trustNewHosts = false;
    /// The private key (OpenSSH or PEM format, without passphrase) to log in with before a password;
    /// empty: the password only.
    std::string privateKeyFile;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
