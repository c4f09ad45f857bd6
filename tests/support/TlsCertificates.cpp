#include "TlsCertificates.h"

#include "ChildProcess.h"

#include <Poco/Exception.h>
#include <Poco/FileStream.h>

namespace Orvik::Test
{

namespace
{

/// A new P-256 key without passphrase.
const std::vector<std::string> EC_KEY{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

}  // namespace

TlsCertificates::TlsCertificates(const std::string& serverName)
{
    _temporaryFolder.createDirectories();
    _caFile = _folder + "/ca.crt";
    _serverCertFile = _folder + "/server.crt";
    _serverKeyFile = _folder + "/server.key";
    _caKey = _folder + "/ca.key";
    const std::string request = _folder + "/server.csr";
    const std::string extensions = _folder + "/server.ext";
    {
        Poco::FileOutputStream out(extensions);
        out << "basicConstraints=CA:FALSE\nsubjectAltName=DNS:" << serverName
            << (serverName == "localhost" ? ",IP:127.0.0.1\n" : "\n");
    }
    openssl({"req", "-x509", "-days", "2", "-subj", "/CN=Orvik test CA", "-keyout", _caKey, "-out", _caFile},
            EC_KEY);
    openssl({"req", "-subj", "/CN=" + serverName, "-keyout", _serverKeyFile, "-out", request}, EC_KEY);
    sign(request, _serverCertFile, {"-extfile", extensions});
}

TlsCertificates::Client TlsCertificates::clientCertificate(const std::string& commonName) const
{
    const std::string base = _folder + "/client-" + std::to_string(++_clients);
    const Client client{base + ".crt", base + ".key"};
    openssl({"req", "-subj", "/CN=" + commonName, "-keyout", client.keyFile, "-out", base + ".csr"}, EC_KEY);
    sign(base + ".csr", client.certFile);
    return client;
}

void TlsCertificates::sign(const std::string& request, const std::string& certFile,
                           const std::vector<std::string>& more) const
{
    openssl({"x509", "-req", "-days", "2", "-in", request, "-CA", _caFile, "-CAkey", _caKey,
             "-CAcreateserial", "-out", certFile},
            more);
}

void TlsCertificates::openssl(std::vector<std::string> args, const std::vector<std::string>& more) const
{
    args.insert(args.end(), more.begin(), more.end());
    ChildProcess process("/usr/bin/openssl", args, _folder);
    if (process.wait(60000) != 0)
        throw Poco::RuntimeException("openssl " + args.front() + " failed", process.errorText());
}

}  // namespace Orvik::Test
