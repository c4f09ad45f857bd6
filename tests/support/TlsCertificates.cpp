#include "TlsCertificates.h"

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
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
    std::vector<std::string> ca{"req",     "-x509", "-days", "2",    "-subj", "/CN=Orvik test CA",
                                "-keyout", caKey,   "-out",  _caFile};
    ca.insert(ca.end(), ecKey.begin(), ecKey.end());
    openssl(ca);
    std::vector<std::string> server{"req",  "-subj", "/CN=" + serverName, "-keyout", _serverKeyFile,
                                    "-out", request};
    server.insert(server.end(), ecKey.begin(), ecKey.end());
    openssl(server);
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

void TlsCertificates::openssl(const std::vector<std::string>& args) const
{
    Poco::Pipe errors;
    Poco::ProcessHandle process =
        Poco::Process::launch("/usr/bin/openssl", args, _folder, nullptr, nullptr, &errors);
    Poco::PipeInputStream errorStream(errors);
    std::string errorText;
    Poco::StreamCopier::copyToString(errorStream, errorText);
    if (process.wait() != 0)
    {
        throw Poco::RuntimeException("openssl " + args.front() + " failed", errorText);
    }
}

}  // namespace Orvik::Test
