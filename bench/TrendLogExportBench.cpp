// Export of a simulated trend log by the trend log pusher, end to end: the records are read page by
// page with ReadRange from the simulated site through the BACnet client worker, written as XML or JSON,
// and (a) dropped by a discarding stream or (b) uploaded to a pyftpdlib server on loopback.
//
// For each case: records per second, the document's size, the peak resident memory of the case
// (VmHWM, reset before each case), the ratio of its time to writing the same number of bytes with a
// plain std::ostream to the same destination, and the context switches per page. The memory must not
// grow with the record count: the document is streamed. Into the discarding stream each case runs twice:
// with the site's devices answering on the site's thread (two more thread switches per page, the
// baseline) and at once on the client worker's thread.
//
// Then the export of a site of many slow devices: 30 devices with 5 trend logs each, every answer 50 ms
// late, written as XML into the discarding stream, read one trend log after the other and read ahead,
// against the ideal, the time one device of that site takes on its own (a site of that one device):
// on the simulated site (its delay fault) and over BACnet/IP on the loopback, served by orvik-site.
//
// With "building": a building of 1 000 devices served by orvik-site, 200 on the IP network and 800 behind
// its router on 8 slow router networks of 100, 2 trend logs each: the search and the export of its XML
// document into the discarding stream against the site's ideal (the busiest router network on its own),
// with 2 and with 1 request outstanding per router network.
//
// Usage: TrendLogExportBench [largest record count, default 1000000 [records per trend log of the
// many-device site, default 130: two pages]]
//        TrendLogExportBench building [records per trend log, default 1440 [devices per router network,
// default 100; twice as many on the IP network]]
// orvik-site is looked for next to this program's build.

#include <Poco/Data/Statement.h>
#include <Poco/Environment.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Net/FTPClientSession.h>
#include <Poco/Net/SocketAddress.h>
#include <Poco/Net/StreamSocket.h>
#include <Poco/NumberParser.h>
#include <Poco/Path.h>
#include <Poco/Pipe.h>
#include <Poco/PipeStream.h>
#include <Poco/Process.h>
#include <Poco/StreamCopier.h>
#include <Poco/StringTokenizer.h>
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

#include "Orvik_BACnetClient/IP/BACnetIPNetwork.h"
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

/// orvik-site serving a site file on free loopback ports; the address of its first device.
class OrvikSiteProcess
{
public:
    explicit OrvikSiteProcess(const std::string& siteText)
    {
        Poco::FileOutputStream(_siteFile.path()) << siteText;
        Poco::Pipe out;
        _pProcess = std::make_unique<Poco::ProcessHandle>(
            Poco::Process::launch(ORVIK_SITE_PROGRAM, {_siteFile.path()}, nullptr, &out, nullptr));
        Poco::PipeInputStream in(out);
        std::string line;
        while (std::getline(in, line) && line != "ready")
        {
            const Poco::StringTokenizer words(line, " ");
            if (words.count() >= 3 && words[0] == "device" && firstDevice.empty())
            {
                firstDevice = words[2];
            }
        }
    }
    ~OrvikSiteProcess()
    {
        Poco::Process::kill(*_pProcess);
        _pProcess->wait();
    }
    std::string firstDevice;

private:
    Poco::TemporaryFile _siteFile;
    std::unique_ptr<Poco::ProcessHandle> _pProcess;
};

/// How the pages of the trend logs after the one being written are read.
enum class ReadAhead
{
    NONE,       ///< one trend log after the other
    IN_MEMORY,  ///< ahead, within the memory cap only
    SPOOLED     ///< ahead, beyond the memory cap in the spool file (the pusher's default)
};

/// How a site is served and read.
struct SiteRead
{
    bool overIP = false;  ///< served by orvik-site, else the simulated site
    ReadAhead readAhead = ReadAhead::SPOOLED;
    /// BACnetIPNetwork::Settings::maxOutstandingPerRouterNetwork.
    Poco::UInt32 perRouterNetwork = 2;
    Orvik::BACnet::App::VendorOrvik::TrendLogPusher::TrendLogDiscovery::Limits discovery;
    /// Trend logs read ahead, spooled; 0: the pusher's default.
    std::size_t trendLogsAhead = 0;
};

/// The search and the export of a site's XML document into the discarding stream.
struct SiteExport
{
    double search = 0;
    double exportTime = 0;
    double peakMiB = 0;
    std::size_t bytes = 0;
    /// Log records in the document.
    std::size_t records = 0;
    bool ok = false;
};

/// Counts the log records written (an element of one record's datum, which a document's header never
/// holds), also where the name is split between two writes.
class RecordCountingBuffer : public DiscardBuffer
{
public:
    std::size_t records = 0;

protected:
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        static const std::string MARKER = " name=\"log-datum\"";
        _tail.append(s, static_cast<std::size_t>(n));
        for (std::size_t at = _tail.find(MARKER); at != std::string::npos; at = _tail.find(MARKER, at + 1))
            ++records;
        _tail.erase(0, _tail.size() - std::min(_tail.size(), MARKER.size() - 1));
        return DiscardBuffer::xsputn(s, n);
    }

private:
    std::string _tail;
};

SiteExport exportSite(const std::string& site, const SiteRead& how, Poco::UInt16 ftpPort)
{
    using namespace Orvik::BACnet::Client;
    using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::TrendLogReadAhead;
    std::unique_ptr<OrvikSiteProcess> pServer;
    std::unique_ptr<Network> pNetwork;
    if (how.overIP)
    {
        pServer = std::make_unique<OrvikSiteProcess>(site);
        IP::BACnetIPNetwork::Settings settings;
        settings.local = Poco::Net::SocketAddress("127.0.0.1", 0);
        settings.broadcast = Poco::Net::SocketAddress(pServer->firstDevice);
        settings.maxOutstandingPerRouterNetwork = how.perRouterNetwork;
        pNetwork = std::make_unique<IP::BACnetIPNetwork>(settings);
    }
    else
    {
        pNetwork = Simulation::SimulatedSite::parse(site, "bench");
    }
    resetPeakMemory();
    TrendLogBenchGateway gateway(0, 0, ftpPort, std::move(pNetwork), 2, how.discovery);
    if (how.readAhead == ReadAhead::NONE)
    {
        gateway.pusher().setReadAheadLimits(TrendLogReadAhead::Limits(0, 0));
    }
    else if (how.readAhead == ReadAhead::IN_MEMORY)
    {
        gateway.pusher().setReadAheadLimits(TrendLogReadAhead::Limits());
    }
    else if (how.trendLogsAhead > 0)
    {
        gateway.pusher().setReadAheadLimits(TrendLogReadAhead::Limits(
            TrendLogReadAhead::Limits().memoryCap, how.trendLogsAhead, Poco::Path::temp()));
    }
    RecordCountingBuffer counting;
    std::ostream out(&counting);
    const Poco::Timestamp start;
    SiteExport result;
    result.ok = gateway.pusher().streamAll(out);
    result.exportTime = seconds(start);
    result.search = gateway.searchSeconds();
    result.peakMiB = peakMemoryMiB();
    result.bytes = counting.bytes;
    result.records = counting.records;
    return result;
}

/// The times of a site of `devices` devices, each with `trendLogs` trend logs of `records` records, when
/// every answer comes `delayMs` late.
SiteExport slowSiteExport(bool overIP, ReadAhead readAhead, int devices, int trendLogs, Poco::UInt64 records,
                          int delayMs, Poco::UInt16 ftpPort)
{
    SiteRead how;
    how.overIP = overIP;
    how.readAhead = readAhead;
    const SiteExport times =
        exportSite(manyDeviceBenchSite(devices, trendLogs, records, delayMs), how, ftpPort);
    if (!times.ok || times.records != static_cast<std::size_t>(devices * trendLogs) * records)
    {
        std::printf("(the export of %d devices FAILED or fell short: %zu records)\n", devices, times.records);
    }
    return times;
}

/// A building: `ipDevices` devices on the IP network (100001, ...) and `networks` networks behind
/// orvik-site's router (1, 2, ...) of `perNetwork` devices each (network n: 200000 + n * 1000 + MAC), every
/// router network a slow link of `frameDelayMs` a frame; each device with `trendLogs` trend logs of `records`
/// records.
std::string buildingSite(int ipDevices, int networks, int perNetwork, int frameDelayMs, int trendLogs,
                         Poco::UInt64 records)
{
    std::string site = R"({"tickMs": 1000, "networks": [)";
    for (int network = 1; network <= networks; ++network)
    {
        site += std::string(network > 1 ? ", " : "") + R"({"network": )" + std::to_string(network) +
                R"(, "frameDelayMs": )" + std::to_string(frameDelayMs) + "}";
    }
    site += R"(], "devices": [)" + benchGatewayDevice();
    for (int device = 1; device <= ipDevices; ++device)
    {
        site += ", " + benchDevice(static_cast<Poco::UInt32>(100000 + device), trendLogs, records);
    }
    for (int network = 1; network <= networks; ++network)
    {
        for (int mac = 1; mac <= perNetwork; ++mac)
        {
            char members[48];
            std::snprintf(members, sizeof members, R"("network": %d, "mac": "%02x", )", network, mac);
            site += ", " + benchDevice(static_cast<Poco::UInt32>(200000 + network * 1000 + mac), trendLogs,
                                       records, members);
        }
    }
    return site + "]}";
}

/// The building bench: its search and export against the site's ideal (the busiest router network on
/// its own, and one device of it on its own), with each limit of requests per router network, and the
/// discovery's lanes and read-ahead window where the time goes.
void buildingBench(Poco::UInt64 records, int perNetwork, Poco::UInt16 ftpPort)
{
    const int NETWORKS = 8, TREND_LOGS = 2;
    // A 38 400-baud MS/TP segment carries 3 840 octets a second: 20 ms is a request frame of about 40
    // octets with the token passes and turnarounds around it.
    const int FRAME_DELAY_MS = 20;
    const int ipDevices = 2 * perNetwork;
    const auto row = [&](const std::string& site, int devices, const std::string& client,
                         const SiteExport& result, const SiteExport* pIdeal)
    {
        const std::size_t expected = static_cast<std::size_t>(devices * TREND_LOGS) * records;
        const std::string shortfall = result.ok && result.records == expected
                                          ? ""
                                          : " (FAILED, expected " + std::to_string(expected) + ")";
        const double total = result.search + result.exportTime;
        const std::string ratio =
            pIdeal ? std::to_string(total / (pIdeal->search + pIdeal->exportTime)) : "1";
        std::printf("| %s | %s | %zu%s | %.1f | %.2f | %.2f | %.2f | %.1f | %.4s |\n", site.c_str(),
                    client.c_str(), result.records, shortfall.c_str(), result.bytes / 1e6, result.search,
                    result.exportTime, total, result.peakMiB, ratio.c_str());
        std::fflush(stdout);
    };
    std::printf(
        "\n| Site | Client | Records | Document MB | Search s | Export s | Search + export s | Peak RSS "
        "MiB | Ratio to ideal |\n|---|---|---|---|---|---|---|---|---|\n");
    SiteRead how;
    how.overIP = true;
    const SiteExport device =
        exportSite(buildingSite(0, 1, 1, FRAME_DELAY_MS, TREND_LOGS, records), how, ftpPort);
    row("1 device behind the router", 1, "limit 2", device, nullptr);
    const SiteExport network =
        exportSite(buildingSite(0, 1, perNetwork, FRAME_DELAY_MS, TREND_LOGS, records), how, ftpPort);
    row("1 router network", perNetwork, "limit 2", network, nullptr);
    const SiteExport& ideal =
        device.search + device.exportTime > network.search + network.exportTime ? device : network;
    const std::string building =
        buildingSite(ipDevices, NETWORKS, perNetwork, FRAME_DELAY_MS, TREND_LOGS, records);
    const int devices = ipDevices + NETWORKS * perNetwork;
    for (const Poco::UInt32 limit : {2u, 1u})
    {
        how.perRouterNetwork = limit;
        row("building", devices, ("limit " + std::to_string(limit)).c_str(),
            exportSite(building, how, ftpPort), &ideal);
    }
    // Where the time goes: every device searched at once, and every trend log read ahead.
    how.perRouterNetwork = 2;
    how.discovery.devicesAtOnce = static_cast<std::size_t>(devices);
    how.trendLogsAhead = static_cast<std::size_t>(devices * TREND_LOGS);
    row("building", devices, "limit 2, every device searched at once, every trend log ahead",
        exportSite(building, how, ftpPort), &ideal);
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
    Poco::Environment::set("ZEPTA_SCRIPTS", trendLogBenchSourceDir() + "/scripts");
    if (argc > 1 && std::string(argv[1]) == "building")
    {
        FtpUploadServer ftp;
        buildingBench(argc > 2 ? Poco::NumberParser::parseUnsigned64(argv[2]) : 1440,
                      argc > 3 ? Poco::NumberParser::parse(argv[3]) : 100, ftp.port);
        return 0;
    }
    const Poco::UInt64 largest = argc > 1 ? Poco::NumberParser::parseUnsigned64(argv[1]) : 1000000;
    const Poco::UInt64 slowRecords = argc > 2 ? Poco::NumberParser::parseUnsigned64(argv[2]) : 130;
    FtpUploadServer ftp;
    std::cout << "| Records | Markup | Destination | Records/s | Document MB | Peak RSS MiB | Ratio to plain "
                 "write | Context switches per page |\n"
              << "|---|---|---|---|---|---|---|---|" << std::endl;
    for (Poco::UInt64 records = 10000; records <= largest; records *= 10)
    {
        for (int language : {0, 1})
        {
            const char* markup = language == 0 ? "XML" : "JSON";
            for (const bool onSiteThread : {true, false})
            {
                auto pSite = Orvik::BACnet::Client::Simulation::SimulatedSite::parse(
                    trendLogBenchSite(records), "bench");
                pSite->setServeOnSiteThread(onSiteThread);
                TrendLogBenchGateway gateway(records, language, ftp.port, std::move(pSite));
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
                std::printf(
                    "| %llu | %s | discarding stream, answered %s%s | %.0f | %.1f | %.1f | %.0f | %.1f |\n",
                    static_cast<unsigned long long>(records), markup,
                    onSiteThread ? "on the site's thread" : "at once", ok ? "" : " (FAILED)",
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
    std::printf(
        "\n| Network | Site | Read | Records | Search s | Search ratio | Export s | Peak RSS MiB | Export "
        "ratio |\n|---|---|---|---|---|---|---|---|---|\n");
    for (const bool overIP : {false, true})
    {
        const char* network = overIP ? "BACnet/IP, orvik-site" : "simulated";
        const SiteExport ideal =
            slowSiteExport(overIP, ReadAhead::SPOOLED, 1, TREND_LOGS, slowRecords, DELAY_MS, ftp.port);
        std::printf("| %s | 1 device (the ideal) | ahead | %llu | %.2f | 1.0 | %.2f | %.1f | 1.0 |\n",
                    network, static_cast<unsigned long long>(TREND_LOGS * slowRecords), ideal.search,
                    ideal.exportTime, ideal.peakMiB);
        // One trend log after the other takes the sum of the devices' times: measured at the small size.
        std::vector<ReadAhead> reads{ReadAhead::IN_MEMORY, ReadAhead::SPOOLED};
        if (slowRecords <= 200)
        {
            reads.insert(reads.begin(), ReadAhead::NONE);
        }
        for (const ReadAhead read : reads)
        {
            const SiteExport times =
                slowSiteExport(overIP, read, DEVICES, TREND_LOGS, slowRecords, DELAY_MS, ftp.port);
            const char* readName = read == ReadAhead::NONE        ? "one trend log after the other"
                                   : read == ReadAhead::IN_MEMORY ? "ahead, memory only"
                                                                  : "ahead, spooled";
            std::printf(
                "| %s | %d devices x %d trend logs | %s | %llu | %.2f | %.1f | %.2f | %.1f | %.1f |\n",
                network, DEVICES, TREND_LOGS, readName,
                static_cast<unsigned long long>(DEVICES * TREND_LOGS * slowRecords), times.search,
                times.search / ideal.search, times.exportTime, times.peakMiB,
                times.exportTime / ideal.exportTime);
            std::fflush(stdout);
        }
    }
    return 0;
}
