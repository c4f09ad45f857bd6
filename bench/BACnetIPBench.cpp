// Our BACnet/IP client and the client of the npm library @bacnet-js/client (client.js) against orvik-site
// (the program, our server) on the loopback:
//   - ReadPropertyMultiple: present-value, status-flags, object-name and out-of-service of 5 analog
//     inputs, one request outstanding, for some seconds: requests per second;
//   - ReadRange: a trend log of 10 000 REAL records paged by position from the start to the end and
//     over again, for some seconds: records per second (each client asks for 1000 records a page and
//     gets what fits into one answer);
//   - the trend log pusher's export of that trend log over BACnet/IP, end to end (ReadRange pages by
//     time, then by sequence number, the XML document written into a stream that drops it): records
//     per second, against the JS client's ReadRange records per second.
// Prints a table with the ratios ours / theirs. The server runs in a process of its own, so what a client
// gets out of it also says how much of the server's time it costs.
//
// Usage: BACnetIPBench [seconds per measurement, default 3]

#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Timestamp.h>

#include <sys/resource.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <streambuf>

#include "BACnetClient/InteropNetwork.h"
#include "BACnetJSClient.h"
#include "ChildProcess.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "TrendLogBenchGateway.h"

using namespace Orvik::BACnet;
namespace BC = Orvik::BACnet::Client;
using Orvik::Test::ChildProcess;

namespace
{

const Poco::UInt32 DEVICE = 7001;
const Poco::UInt32 RECORDS = 10000;

/// Device 7001 with 5 analog inputs and a trend log; the export's gateway device 1001 with the same trend
/// log.
std::string site()
{
    const std::string gateway = trendLogBenchSite(RECORDS);
    std::string objects;
    for (int instance = 1; instance <= 5; ++instance)
    {
        objects += R"({"type": "analog-input", "instance": )" + std::to_string(instance) +
                   R"(, "name": "AI )" + std::to_string(instance) + R"(", "presentValue": 20.5},)";
    }
    return R"({"devices": [{"instance": 7001, "name": "Bench", "objects": [)" + objects +
           R"({"type": "trend-log", "instance": 1, "name": "AI 1 Log", "logs": "analog-input:1",
      "log": {"start": "2020-01-01T00:00:00Z", "intervalSeconds": 60, "count": 10000, "bufferSize": 10000}}]},)" +
           gateway.substr(gateway.find('[') + 1);
}

/// CPU seconds of this process (every thread: the requester, the client worker, the network's threads).
double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double elapsedSeconds(const Poco::Timestamp& start)
{
    return static_cast<double>(start.elapsed()) / 1e6;
}

/// Our client: a worker on BACnet/IP with the real time-outs, and a requester on this thread.
class OurClient
{
public:
    explicit OurClient(const Poco::Net::SocketAddress& broadcast)
        : _network(Orvik::Test::InteropNetwork::settings(broadcast, 3000, 3)),
          _worker(&_clientQueue, _network),
          _helper(&_clientQueue, &_responseQueue)
    {
        _worker.start();
    }
    ~OurClient() { _worker.stop(); }

    double readPropertyMultiplePerSecond(double seconds)
    {
        std::vector<BC::NotificationRequestRPM::Parameter> request;
        for (Poco::UInt32 instance = 1; instance <= 5; ++instance)
        {
            request.emplace_back(DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, instance),
                                 std::vector<BC::DataPropertyRef>{BC::DataPropertyRef(PROP_PRESENT_VALUE),
                                                                  BC::DataPropertyRef(PROP_STATUS_FLAGS),
                                                                  BC::DataPropertyRef(PROP_OBJECT_NAME),
                                                                  BC::DataPropertyRef(PROP_OUT_OF_SERVICE)});
        }
        std::vector<BC::DataResponseRPM> responses;
        DataError error;
        const Poco::Timestamp start;
        std::size_t done = 0;
        while (elapsedSeconds(start) < seconds)
        {
            if (_helper.syncRPM(DEVICE, request, responses, &error) != BC::ServiceHelper::SYNC_RESULT_SUCCESS)
                throw Poco::RuntimeException("ReadPropertyMultiple failed", error.getString());
            ++done;
        }
        return done / elapsedSeconds(start);
    }

    double readRangeRecordsPerSecond(double seconds)
    {
        const BC::DataPropertyKey log(DEVICE, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1),
                                      BC::DataPropertyRef(PROP_LOG_BUFFER));
        BC::ReadRange::Range range;
        range.requestType = BC::ReadRange::RT_BY_POSITION;
        range.count = 1000;
        BC::ReadRangeAck::Result result;
        DataError error;
        const Poco::Timestamp start;
        std::size_t records = 0;
        while (elapsedSeconds(start) < seconds)
        {
            if (_helper.syncRR(log, range, result, &error) != BC::ServiceHelper::SYNC_RESULT_SUCCESS)
                throw Poco::RuntimeException("ReadRange failed", error.getString());
            records += result.itemCnt;
            range.refIndex =
                result.itemCnt == 0 || !result.hasMoreItems() ? 1 : range.refIndex + result.itemCnt;
        }
        return records / elapsedSeconds(start);
    }

private:
    BC::IP::BACnetIPNetwork _network;
    Poco::NotificationQueue _clientQueue;
    Poco::NotificationQueue _responseQueue;
    BC::ClientWorker _worker;
    BC::ServiceHelper _helper;
};

/// Counts and drops what is written.
class DiscardBuffer : public std::streambuf
{
protected:
    int_type overflow(int_type c) override { return traits_type::not_eof(c); }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

/// The pusher's whole export of the gateway device's trend log over BACnet/IP: records per second.
double exportRecordsPerSecond(const Poco::Net::SocketAddress& broadcast)
{
    Poco::Environment::set("ZEPTA_SCRIPTS", trendLogBenchSourceDir() + "/scripts");
    TrendLogBenchGateway gateway(
        RECORDS, 0, 21,
        std::make_unique<BC::IP::BACnetIPNetwork>(Orvik::Test::InteropNetwork::settings(broadcast, 3000, 3)));
    DiscardBuffer discard;
    std::ostream out(&discard);
    const Poco::Timestamp start;
    if (!gateway.pusher().streamAll(out))
        throw Poco::RuntimeException("the export over BACnet/IP failed");
    return RECORDS / elapsedSeconds(start);
}

/// client.js as a benchmark against the device: its figures by name ("rpm requests_per_second", ...).
std::map<std::string, double> theirClient(const Poco::Net::SocketAddress& device, double seconds)
{
    ChildProcess node(ChildProcess::locate("node"),
                      {std::string(ORVIK_SOURCE_DIR) + "/tests/peers/bacnet-device/client.js", "--device",
                       device.toString(), "--instance", std::to_string(DEVICE), "--seconds",
                       std::to_string(seconds), "--objects", "5", "--trend-log", "1", "--count", "1000"});
    if (node.wait(static_cast<int>(seconds * 2 * 1000) + 20000) != 0)
        throw Poco::RuntimeException("client.js failed as a benchmark", node.errorText());
    std::map<std::string, double> figures;
    for (const std::string& line : node.lines(ChildProcess::Stream::OUTPUT))
    {
        const Poco::StringTokenizer words(line, " =", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        for (std::size_t i = 1; i + 1 < words.count(); i += 2)
            figures[words[0] + " " + words[i]] = Poco::NumberParser::parseFloat(words[i + 1]);
    }
    return figures;
}

/// orvik-site serving a site's text on the loopback, in a process of its own.
class OrvikSiteProcess
{
public:
    explicit OrvikSiteProcess(const std::string& siteText)
    {
        Poco::FileOutputStream(_siteFile.path()) << siteText;
        _process = std::make_unique<ChildProcess>(ORVIK_BINARY_DIR "/site/orvik-site",
                                                  std::vector<std::string>{_siteFile.path()});
        if (!_process->waitForLineStarting(ChildProcess::Stream::OUTPUT, "ready", 20000))
            throw Poco::RuntimeException("orvik-site did not start", _process->errorText());
        for (const std::string& line : _process->lines(ChildProcess::Stream::OUTPUT))
        {
            const Poco::StringTokenizer words(line, " ", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
            if (words.count() >= 3 && words[0] == "device")
                _devices[Poco::NumberParser::parseUnsigned(words[1])] = Poco::Net::SocketAddress(words[2]);
        }
    }

    Poco::Net::SocketAddress device(Poco::UInt32 instance) const { return _devices.at(instance); }

private:
    Poco::TemporaryFile _siteFile;
    std::unique_ptr<ChildProcess> _process;
    std::map<Poco::UInt32, Poco::Net::SocketAddress> _devices;
};

/// What both clients get out of the server.
struct Figures
{
    double ourRpm = 0;
    double ourRecords = 0;
    double exportRecords = 0;
    double theirRpm = 0;
    double theirRecords = 0;
    double rpmCpuShare = 0;    ///< our process's CPU time per wall-clock second during ReadPropertyMultiple
    double rangeCpuShare = 0;  ///< the same during ReadRange
};

/// Both clients against the server whose bench device answers at `device` (its broadcasts reach every
/// device of the server).
Figures measure(const Poco::Net::SocketAddress& device, double seconds)
{
    Figures figures;
    {
        OurClient ours(device);
        double cpu = cpuSeconds();
        figures.ourRpm = ours.readPropertyMultiplePerSecond(seconds);
        figures.rpmCpuShare = (cpuSeconds() - cpu) / seconds;
        cpu = cpuSeconds();
        figures.ourRecords = ours.readRangeRecordsPerSecond(seconds);
        figures.rangeCpuShare = (cpuSeconds() - cpu) / seconds;
    }
    figures.exportRecords = exportRecordsPerSecond(device);
    std::map<std::string, double> theirs = theirClient(device, seconds);
    figures.theirRpm = theirs["rpm requests_per_second"];
    figures.theirRecords = theirs["readrange records_per_second"];
    return figures;
}

void printRow(const char* measurement, double ours, double theirs)
{
    std::printf("| %s | %.0f | %.0f | %.2f |\n", measurement, ours, theirs, ours / theirs);
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? Poco::NumberParser::parseFloat(argv[1]) : 3;
    if (!Orvik::Test::BACnetJSClient::missing().empty())
    {
        std::cerr << Orvik::Test::BACnetJSClient::missing() << std::endl;
        return 77;
    }
    try
    {
        Figures onSite;
        {
            OrvikSiteProcess orvikSite(site());
            onSite = measure(orvikSite.device(DEVICE), seconds);
        }
        std::printf(
            "Our process's CPU time per wall-clock second: %.2f during ReadPropertyMultiple (%.0f us a "
            "request), %.2f during ReadRange\n\n",
            onSite.rpmCpuShare, onSite.rpmCpuShare * 1e6 / onSite.ourRpm, onSite.rangeCpuShare);
        std::printf("| Measurement | Ours | JS | Ours/JS |\n|---|---|---|---|\n");
        printRow("ReadPropertyMultiple requests/s (5 objects x 4 properties)", onSite.ourRpm,
                 onSite.theirRpm);
        printRow("ReadRange records/s (by position, pages as large as fit)", onSite.ourRecords,
                 onSite.theirRecords);
        printRow("Trend log export into a discarding stream, records/s (JS: its ReadRange)",
                 onSite.exportRecords, onSite.theirRecords);
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return 1;
    }
    return 0;
}
