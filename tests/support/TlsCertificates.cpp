#include "TlsCertificates.h"

#include "ChildProcess.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/TemporaryFile.h>

namespace Orvik::Test
{

TlsCertificates::TlsCertificates(const std::string& serverName) : _folder(Poco::TemporaryFile::tempName())
{
    Poco::File(_folder).createDirectories();
    _caFile = _folder + "/ca.crt";
    _serverCertFile = _folder + "/server.crt";
    _serverKeyFile = _folder + "/server.key";
    const std::string caKey = _folder + "/ca.key";
    const std::string request = _folder + "/server.csr";
    const std::string extensions = _folder + "/server.ext";
    {
        Poco::FileOutputStream out(extensions);
        out << "basicConstraints=CA:FALSE\nsubjectAltName=DNS:" << serverName
            << (serverName == "localhost" ? ",IP:127.0.0.1\n" : "\n");
    }
    const std::vector<std::string> ecKey{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                                         "-nodes"};
    openssl({"req", "-x509", "-days", "2", "-subj", "/CN=Orvik test CA", "-keyout", caKey, "-out", _caFile},
            ecKey);
    openssl({"req", "-subj", "/CN=" + serverName, "-keyout", _serverKeyFile, "-out", request}, ecKey);
    openssl({"x509", "-req", "-days", "2", "-in", request, "-CA", _caFile, "-CAkey", caKey, "-CAcreateserial",
             "-extfile", extensions, "-out", _serverCertFile});
}

TlsCertificates::~TlsCertificates()
{
    try
    {
        Poco::File(_folder).remove(true);
    }
    catch (const Poco::Exception&)
    {
        // A leftover temporary folder is harmless.
    }
}

void TlsCertificates::openssl(std::vector<std::string> args, const std::vector<std::string>& more) const
{
    args.insert(args.end(), more.begin(), more.end());
    ChildProcess process("/usr/bin/openssl", args, _folder);
    if (process.wait(60000) != 0)
        throw Poco::RuntimeException("openssl " + args.front() + " failed", process.errorText());
}

}  // namespace Orvik::Test
