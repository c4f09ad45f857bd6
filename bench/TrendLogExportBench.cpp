// Export of a simulated trend log by the trend log pusher, end to end: the records are read page by
// page with ReadRange from the simulated site through the BACnet client worker, written as XML or JSON,
// and (a) dropped by a discarding stream or (b) uploaded to a pyftpdlib server on loopback.
//
// For each case: records per second, the document's size, the peak resident memory of the case
// (VmHWM, reset before each case), and the ratio of its time to writing the same number of bytes with a
// plain std::ostream to the same destination. The memory must not grow with the record count: the
// document is streamed.
//
// Then the export of a site of many slow devices: 30 devices with 5 trend logs each, every answer 50 ms
// late (the simulated site's delay fault), written as XML into the discarding stream: its time against
// the ideal, the time one device of that site takes on its own (a site of that one device).
//
// Usage: TrendLogExportBench [largest record count, default 1000000 [records per trend log of the
// many-device site, default 130: two pages]]

#include <Poco/Data/Statement.h>
#include <Poco/Environment.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/NumberParser.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Timestamp.h>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "TrendLogBenchGateway.h"

namespace
{

/// Records of a REAL trend log in one ReadRange answer of 1476 octets.
const double RECORDS_PER_PAGE = 65;

/// Counts and drops what is written.
class DiscardBuffer : public std::streambuf
{
public:
    std::size_t bytes = 0;

protected:
    int_type overflow(int_type c) override
    {
        bytes += traits_type::eq_int_type(c, traits_type::eof()) ? 0 : 1;
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char*, std::streamsize n) override
    {
        bytes += static_cast<std::size_t>(n);
        return n;
    }
};

/// Writes `bytes` bytes in pieces of the size a record element has, as plain stream writes.
void writePlain(std::ostream& os, std::size_t bytes)
{
    static const std::string piece(96, 'x');
    for (std::size_t written = 0; written < bytes; written += piece.size())
    {
        os.write(piece.data(), static_cast<std::streamsize>(std::min(piece.size(), bytes - written)));
    }
    os.flush();
}

/// Context switches of the process so far, voluntary and involuntary, of all its threads.
long contextSwitches()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

void resetPeakMemory()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

/// Peak resident memory since the last reset, in MiB.
double peakMemoryMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
    {
        if (line.rfind("VmHWM:", 0) == 0)
        {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

/// A pyftpdlib server on a free loopback port, anonymous, writing into a temporary folder.
class FtpUploadServer
{
public:
    FtpUploadServer() : _root(Poco::TemporaryFile::tempName())
    {
        Poco::File(_root).createDirectories();
        Poco::Pipe out;
        _pProcess = std::make_unique<Poco::ProcessHandle>(
            Poco::Process::launch("/usr/bin/python3",
                                  {trendLogBenchSourceDir() + "/tests/support/ftp_server.py", "--root", _root,
                                   "--control", _root + "/../no-fault", "--commands", "/dev/null"},
                                  nullptr, &out, nullptr));
        Poco::PipeInputStream in(out);
        std::string line;
        std::getline(in, line);
        port = static_cast<Poco::UInt16>(Poco::NumberParser::parseUnsigned(line.substr(5)));
    }
    ~FtpUploadServer()
    {
        Poco::Process::kill(*_pProcess);
        _pProcess->wait();
        Poco::File(_root).remove(true);
    }
    /// Bytes of the files uploaded so far.
    std::size_t uploadedBytes() const
    {
        std::vector<Poco::File> files;
        Poco::File(_root).list(files);
        std::size_t bytes = 0;
        for (const Poco::File& file : files)
        {
            bytes += file.getSize();
        }
        return bytes;
    }
    void clear()
    {
        Poco::File(_root).remove(true);
        Poco::File(_root).createDirectories();
    }
    Poco::UInt16 port = 0;

private:
    std::string _root;
    std::unique_ptr<Poco::ProcessHandle> _pProcess;
};

double seconds(const Poco::Timestamp& start)
{
    return static_cast<double>(start.elapsed()) / 1e6;
}

/// Seconds the export of the XML document of a site of `devices` devices takes, each with `trendLogs`
/// trend logs of `records` records, when every answer comes `delayMs` late (after the discovery, which
/// runs without the delay).
double slowSiteExport(int devices, int trendLogs, Poco::UInt64 records, int delayMs, Poco::UInt16 ftpPort,
                      double& peakMiB)
{
    auto pSite = Orvik::BACnet::Client::Simulation::SimulatedSite::parse(
        manyDeviceBenchSite(devices, trendLogs, records), "bench");
    Orvik::BACnet::Client::Simulation::SimulatedSite& site = *pSite;
    TrendLogBenchGateway gateway(records, 0, ftpPort, std::move(pSite), 2);
    for (int device = 1; device <= devices; ++device)
    {
        site.setDelay(static_cast<Poco::UInt32>(2000 + device), delayMs);
    }
    DiscardBuffer discard;
    std::ostream out(&discard);
    resetPeakMemory();
    const Poco::Timestamp start;
    const bool ok = gateway.pusher().streamAll(out);
    const double exportTime = seconds(start);
    peakMiB = peakMemoryMiB();
    const std::size_t expectedRecords = static_cast<std::size_t>(devices * trendLogs) * records;
    if (!ok || discard.bytes < expectedRecords * 100)
    {
        std::printf("(the export of %d devices FAILED or fell short: %zu bytes)\n", devices, discard.bytes);
    }
    return exportTime;
}

/// Uploads `bytes` plain bytes to the server, as the baseline of an upload.
double plainUpload(Poco::UInt16 port, std::size_t bytes)
{
    Poco::Net::FTPClientSession session(Poco::Net::StreamSocket(Poco::Net::SocketAddress("127.0.0.1", port)));
    const Poco::Timestamp start;
    writePlain(session.beginUpload("plain.bin"), bytes);
    session.endUpload();
    const double elapsed = seconds(start);
    session.close();
    return elapsed;
}

}  // namespace

int main(int argc, char** argv)
{
    const Poco::UInt64 largest = argc > 1 ? Poco::NumberParser::parseUnsigned64(argv[1]) : 1000000;
    const Poco::UInt64 slowRecords = argc > 2 ? Poco::NumberParser::parseUnsigned64(argv[2]) : 130;
    Poco::Environment::set("ZEPTA_SCRIPTS", trendLogBenchSourceDir() + "/scripts");
    FtpUploadServer ftp;
    std::cout << "| Records | Markup | Destination | Records/s | Document MB | Peak RSS MiB | Ratio to plain "
                 "write | Context switches per page |\n"
              << "|---|---|---|---|---|---|---|---|" << std::endl;
    for (Poco::UInt64 records = 10000; records <= largest; records *= 10)
    {
        for (int language : {0, 1})
        {
            const char* markup = language == 0 ? "XML" : "JSON";
            {
                TrendLogBenchGateway gateway(records, language, ftp.port);
                DiscardBuffer discard;
                std::ostream out(&discard);
                resetPeakMemory();
                const long switchesBefore = contextSwitches();
                Poco::Timestamp start;
                const bool ok = gateway.pusher().streamAll(out);
                const double exportTime = seconds(start);
                const double switchesPerPage = static_cast<double>(contextSwitches() - switchesBefore) /
                                               (static_cast<double>(records) / RECORDS_PER_PAGE);
                const double peak = peakMemoryMiB();
                const std::size_t bytes = discard.bytes;
                start.update();
                writePlain(out, bytes);
                const double plainTime = seconds(start);
                std::printf("| %llu | %s | discarding stream%s | %.0f | %.1f | %.1f | %.0f | %.1f |\n",
                            static_cast<unsigned long long>(records), markup, ok ? "" : " (FAILED)",
                            records / exportTime, bytes / 1e6, peak, exportTime / plainTime, switchesPerPage);
            }
            {
                TrendLogBenchGateway gateway(records, language, ftp.port);
                resetPeakMemory();
                const Poco::Timestamp start;
                const bool ok = gateway.pusher().createAndSendFiles();
                const double exportTime = seconds(start);
                const double peak = peakMemoryMiB();
                const std::size_t bytes = ftp.uploadedBytes();
                std::printf("| %llu | %s | FTP upload, loopback%s | %.0f | %.1f | %.1f | %.1f | |\n",
                            static_cast<unsigned long long>(records), markup, ok ? "" : " (FAILED)",
                            records / exportTime, bytes / 1e6, peak,
                            exportTime / plainUpload(ftp.port, bytes));
                ftp.clear();
            }
            std::fflush(stdout);
        }
    }
    const int DEVICES = 30, TREND_LOGS = 5, DELAY_MS = 50;
    double peakIdeal = 0, peakSite = 0;
    const double ideal = slowSiteExport(1, TREND_LOGS, slowRecords, DELAY_MS, ftp.port, peakIdeal);
    const double site = slowSiteExport(DEVICES, TREND_LOGS, slowRecords, DELAY_MS, ftp.port, peakSite);
    std::printf(
        "\n| Site | Records | Export s | Peak RSS MiB | Ratio to ideal |\n|---|---|---|---|---|\n"
        "| 1 device (the ideal) | %llu | %.2f | %.1f | 1.0 |\n| %d devices | %llu | %.2f | %.1f | %.1f |\n",
        static_cast<unsigned long long>(TREND_LOGS * slowRecords), ideal, peakIdeal, DEVICES,
        static_cast<unsigned long long>(DEVICES * TREND_LOGS * slowRecords), site, peakSite, site / ideal);
    return 0;
}
