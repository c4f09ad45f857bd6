// Export of a simulated trend log by the trend log pusher, end to end: the records are read page by
// page with ReadRange from the simulated site through the BACnet client worker, written as XML or JSON,
// and (a) dropped by a discarding stream or (b) uploaded to a pyftpdlib server on loopback.
//
// For each case: records per second, the document's size, the peak resident memory of the case
// (VmHWM, reset before each case), and the ratio of its time to writing the same number of bytes with a
// plain std::ostream to the same destination. The memory must not grow with the record count: the
// document is streamed.
//
// Usage: TrendLogExportBench [largest record count, default 1000000]

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

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <streambuf>
#include <string>
#include <vector>

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/AppTrendLogPusher.h"

using namespace Poco::Data::Keywords;
using Orvik::BACnet::App::VendorOrvik::TrendLogPusher::AppTrendLogPusher;

namespace
{

const Poco::UInt32 GATEWAY = 1001;

/// The repository's top folder, from this file's own path.
std::string sourceDir()
{
    const std::string file = __FILE__;
    return file.substr(0, file.rfind("/bench/"));
}
const Poco::Int32 INSTANCE = 1;

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

std::string siteText(Poco::UInt64 records)
{
    const std::string count = std::to_string(records);
    return R"({"devices": [{"instance": 1001, "name": "Gateway", "vendorIdentifier": 64701, "vendorName": "Orvik",
      "modelName": "GW", "objects": [{"type": "analog-value", "instance": 1, "name": "T1", "presentValue": 20.0},
      {"type": "trend-log", "instance": 1, "name": "T1 Log", "logs": "analog-value:1", "log": {"start":
      "2020-01-01T00:00:00Z", "intervalSeconds": 60, "count": )" +
           count + R"(, "bufferSize": )" + count + "}}]}]}";
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
                                  {sourceDir() + "/tests/support/ftp_server.py", "--root", _root, "--control",
                                   _root + "/../no-fault", "--commands", "/dev/null"},
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

/// A gateway with one trend log of `records` records and the pusher configured for it.
class Gateway
{
public:
    Gateway(Poco::UInt64 records, int language, Poco::UInt16 ftpPort)
        : _session(_file.path()),
          _pSite(Orvik::BACnet::Client::Simulation::SimulatedSite::parse(siteText(records), "bench"))
    {
        std::string schema;
        Poco::FileInputStream in(sourceDir() + "/db/schema.sql");
        Poco::StreamCopier::copyToString(in, schema);
        _session.executeScript(schema);
        _session << "INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,instance_nr) VALUES(1,500,1)",
            now;
        const std::string values[][2] = {
            {"50004", "BENCH"}, {"50006", std::to_string(language)},
            {"50007", "0b00"},  {"50013", "ftp://127.0.0.1:" + std::to_string(ftpPort)},
            {"50017", "1"},     {"50018", "0"}};
        for (const auto& value : values)
        {
            std::string property = value[0];
            std::string text = value[1];
            _session << "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) "
                        "VALUES(1,?,?)",
                use(property), use(text), now;
        }
        Orvik::Utility::Data::pDB = &_session;
        _pWorker = std::make_unique<Orvik::BACnet::Client::ClientWorker>(&_clientQueue, *_pSite);
        _pWorker->start();
        _pManager =
            std::make_unique<Orvik::BACnet::App::AppManager>(1, GATEWAY, &_managerQueue, &_clientQueue);
        _pPusher = std::make_unique<AppTrendLogPusher>(INSTANCE);
        _pPusher->initialise();
    }
    ~Gateway()
    {
        _pPusher.reset();
        _pWorker->stop();
        Orvik::Utility::Data::pDB = nullptr;
    }
    AppTrendLogPusher& pusher() { return *_pPusher; }

private:
    Poco::TemporaryFile _file;
    Orvik::Utility::Data::TeskDbSession _session;
    std::unique_ptr<Orvik::BACnet::Client::Simulation::SimulatedSite> _pSite;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pWorker;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    std::unique_ptr<AppTrendLogPusher> _pPusher;
};

double seconds(const Poco::Timestamp& start)
{
    return static_cast<double>(start.elapsed()) / 1e6;
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
    Poco::Environment::set("ZEPTA_SCRIPTS", sourceDir() + "/scripts");
    FtpUploadServer ftp;
    std::cout << "| Records | Markup | Destination | Records/s | Document MB | Peak RSS MiB | Ratio to plain "
                 "write |\n"
              << "|---|---|---|---|---|---|---|" << std::endl;
    for (Poco::UInt64 records = 10000; records <= largest; records *= 10)
    {
        for (int language : {0, 1})
        {
            const char* markup = language == 0 ? "XML" : "JSON";
            {
                Gateway gateway(records, language, ftp.port);
                DiscardBuffer discard;
                std::ostream out(&discard);
                resetPeakMemory();
                Poco::Timestamp start;
                const bool ok = gateway.pusher().streamAll(out);
                const double exportTime = seconds(start);
                const double peak = peakMemoryMiB();
                const std::size_t bytes = discard.bytes;
                start.update();
                writePlain(out, bytes);
                const double plainTime = seconds(start);
                std::printf("| %llu | %s | discarding stream%s | %.0f | %.1f | %.1f | %.0f |\n",
                            static_cast<unsigned long long>(records), markup, ok ? "" : " (FAILED)",
                            records / exportTime, bytes / 1e6, peak, exportTime / plainTime);
            }
            {
                Gateway gateway(records, language, ftp.port);
                resetPeakMemory();
                const Poco::Timestamp start;
                const bool ok = gateway.pusher().createAndSendFiles();
                const double exportTime = seconds(start);
                const double peak = peakMemoryMiB();
                const std::size_t bytes = ftp.uploadedBytes();
                std::printf("| %llu | %s | FTP upload, loopback%s | %.0f | %.1f | %.1f | %.1f |\n",
                            static_cast<unsigned long long>(records), markup, ok ? "" : " (FAILED)",
                            records / exportTime, bytes / 1e6, peak,
                            exportTime / plainUpload(ftp.port, bytes));
                ftp.clear();
            }
            std::fflush(stdout);
        }
    }
    return 0;
}
