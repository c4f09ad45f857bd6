#pragma once

#include <Poco/TemporaryFile.h>

#include <string>
#include <vector>

namespace Orvik::Test
{

/// A throw-away certificate authority and a server certificate signed by it, made with
/// the openssl command in a temporary folder (removed by the destructor). The server
/// certificate is valid for two days, for the name `serverName` and, when that is "localhost",
/// for 127.0.0.1 too. Two
/// objects make two unrelated authorities: one's CA file does not verify the other's
/// server certificate. clientCertificate() signs a client certificate (with its key) for a common
/// name. Throws Poco::RuntimeException when openssl fails.
class TlsCertificates
{
public:
    explicit TlsCertificates(const std::string& serverName = "localhost");

    TlsCertificates(const TlsCertificates&) = delete;
    TlsCertificates& operator=(const TlsCertificates&) = delete;

    const std::string& caFile() const { return _caFile; }
    const std::string& serverCertFile() const { return _serverCertFile; }
    const std::string& serverKeyFile() const { return _serverKeyFile; }

    struct Client
    {
        std::string certFile;
        std::string keyFile;
    };
    /// A new client certificate for `commonName`, signed by this authority.
    Client clientCertificate(const std::string& commonName) const;

private:
    /// Signs the certificate request with the authority's key, valid for two days.
    void sign(const std::string& request, const std::string& certFile,
              const std::vector<std::string>& more = {}) const;
    /// Runs openssl with `args` and then `more` in the folder; throws with its error output when it fails.
    void openssl(std::vector<std::string> args, const std::vector<std::string>& more = {}) const;

    Poco::TemporaryFile _temporaryFolder;
    std::string _folder = _temporaryFolder.path();
    std::string _caKey;
    std::string _caFile;
    std::string _serverCertFile;
    std::string _serverKeyFile;
    mutable int _clients = 0;
};

}  // namespace Orvik::Test
