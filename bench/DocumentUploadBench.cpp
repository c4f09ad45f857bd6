// The upload of one 30 MB export document by DocumentUpload over FTP, FTPS and SFTP to real servers on
// loopback (pyftpdlib, pyftpdlib with TLS, OpenSSH's sshd), in one run: the time of each against FTP's,
// and how much the process's resident memory grows while the document is written (the document is
// streamed: it should not). Needs root for sshd's password login (else SFTP is left out).
//
//   DocumentUploadBench [megabytes [repetitions]]   (default 30 MB, 5 repetitions, median reported)

#include <Poco/NumberParser.h>
#include <Poco/Timestamp.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "FtpServer.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/DocumentUpload.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/SftpUploadSession.h"
#include "SshServer.h"
#include "TlsCertificates.h"

namespace
{

using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataFtpServer;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataPusherTimings;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DataSftpSettings;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::DocumentUpload;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::SftpUploadSession;

/// The process's resident memory now, in KiB (VmRSS).
long residentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
    {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return 0;
}

struct Upload
{
    double seconds = 0;
    long rssGrowthKiB = 0;  // the most the resident memory grew while the document was written
};

/// One document of `bytes` record-like lines, written in pieces as the export writer does.
Upload upload(const DataFtpServer& server, std::size_t bytes)
{
    const std::string initials = "BENCH";
    const DataPusherTimings timings;
    const DocumentUpload documentUpload(server, initials, timings);
    Upload result;
    const long before = residentKiB();
    const auto writeDocument = [&](std::ostream& os)
    {
        std::string page;
        for (int record = 0; page.size() < 8192; ++record)
            page +=
                "<r t=\"2026-01-01T00:00:00Z\" v=\"" + std::to_string(record * 0.25) + "\" s=\"0000\"/>\n";
        for (std::size_t written = 0; written < bytes && os.good(); written += page.size())
        {
            os.write(page.data(), static_cast<std::streamsize>(std::min(page.size(), bytes - written)));
            result.rssGrowthKiB = std::max(result.rssGrowthKiB, residentKiB() - before);
        }
        return os.good();
    };
    const Poco::Timestamp start;
    if (!documentUpload.send(Poco::Timestamp(), writeDocument, [](bool) {}))
        throw std::runtime_error("upload to " + server.serverURL + " incomplete");
    result.seconds = static_cast<double>(start.elapsed()) / 1e6;
    return result;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const std::size_t megabytes = argc > 1 ? Poco::NumberParser::parseUnsigned(argv[1]) : 30;
    const int repetitions = argc > 2 ? Poco::NumberParser::parse(argv[2]) : 5;
    const std::size_t bytes = megabytes * 1000000;

    Orvik::Test::FtpServer ftp;
    const Orvik::Test::TlsCertificates certificates;
    Orvik::Test::FtpServer ftps("orvik", "secret", Orvik::Test::FtpServer::Engine::PYFTPDLIB, &certificates);
    DocumentUpload::setTrustedCertificates(certificates.caFile());
    std::unique_ptr<Orvik::Test::SshServer> pSsh;
    if (Orvik::Test::SshServer::missing().empty())
    {
        pSsh = std::make_unique<Orvik::Test::SshServer>();
        DataSftpSettings settings;
        settings.hostKeyFingerprint = pSsh->fingerprint();
        SftpUploadSession::setSettings(settings);
    }
    else
        std::cerr << "SFTP left out: " << Orvik::Test::SshServer::missing() << std::endl;

    std::vector<std::pair<std::string, DataFtpServer>> servers{
        {"FTP (pyftpdlib)", {ftp.url(), "orvik", "secret", "upload"}},
        {"FTPS (pyftpdlib, TLS)", {ftps.url(), "orvik", "secret", "upload"}}};
    if (pSsh)
        servers.push_back({"SFTP (OpenSSH sshd, libssh)",
                           {pSsh->url(), Orvik::Test::SshServer::_USER, "secret", "upload"}});
    // The protocols take turns, so that a change of the machine's load meets all of them.
    std::map<std::string, std::vector<double>> times;
    std::map<std::string, long> growth;
    for (int repetition = 0; repetition < repetitions; ++repetition)
    {
        for (const auto& [name, server] : servers)
        {
            const Upload result = upload(server, bytes);
            times[name].push_back(result.seconds);
            growth[name] = std::max(growth[name], result.rssGrowthKiB);
        }
    }
    const double ftpTime = median(times[servers.front().first]);
    std::printf("| Protocol | Median s (%d runs) | MB/s | Ratio to FTP | RSS growth while writing, KiB |\n",
                repetitions);
    std::printf("|---|---|---|---|---|\n");
    for (const auto& [name, server] : servers)
    {
        const double time = median(times[name]);
        std::printf("| %s | %.2f | %.1f | %.2f | %ld |\n", name.c_str(), time,
                    static_cast<double>(megabytes) / time, time / ftpTime, growth[name]);
    }
    return 0;
}
