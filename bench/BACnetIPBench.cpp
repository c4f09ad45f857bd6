// Our BACnet/IP client and the client of the npm library @bacnet-js/client (client.js) against orvik-site
// (the program, our server) on the loopback, with 1 and with 4 requests outstanding:
//   - ReadPropertyMultiple: present-value, status-flags, object-name and out-of-service of 5 analog
//     inputs: requests per second;
//   - ReadRange: a trend log of 10 000 REAL records paged by position from the start to the end and
//     over again, each outstanding request paging on its own: records per second (each client asks
//     for 1000 records a page and gets what fits into one answer);
//   - our process's context switches (all threads, voluntary and not) per request;
//   - once, the trend log pusher's export of that trend log over BACnet/IP, end to end (ReadRange pages by
//     time, then by sequence number, the XML document written into a stream that drops it): records
//     per second, against the JS client's ReadRange records per second.
// The clients take turns in rounds (the order rotates each round), so that a change of the shared
// machine's load falls on all of them; the table gives the medians over the rounds. With --baseline, the
// same program built from another tree (`--ours` mode, a process of its own) takes its turn too: before
// and after in one run.
//
// Usage: BACnetIPBench [--seconds s (2)] [--rounds n (5)] [--baseline <other BACnetIPBench>]
//        BACnetIPBench --ours <ip:port> [--seconds s]   (our client alone, one line per measurement)

#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Timestamp.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <streambuf>
#include <vector>

#include "BACnetClient/InteropNetwork.h"
#include "BACnetJSClient.h"
#include "ChildProcess.h"
#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/NotificationResponse.h"
#include "Orvik_BACnetClient/NotificationResponseUnread.h"
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

/// Context switches of this process so far: every thread's, voluntary (waits) and not (preempted).
long contextSwitches()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_nvcsw + usage.ru_nivcsw;
}

double elapsedSeconds(const Poco::Timestamp& start)
{
    return static_cast<double>(start.elapsed()) / 1e6;
}

/// What one measurement of a client gives.
struct Rate
{
    double perSecond = 0;
    double switchesPerRequest = 0;
};

/// The measurements of a round: service and requests outstanding.
const std::vector<std::pair<std::string, std::size_t>> MEASUREMENTS = {
    {"rpm", 1}, {"rpm", 4}, {"readrange", 1}, {"readrange", 4}};

/// Our client: a worker on BACnet/IP with the real time-outs, and a requester on this thread that keeps
/// its requests outstanding as the trend log pusher does (posted, the replies taken off its queue).
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

    Rate measure(const std::string& service, std::size_t outstanding, double seconds)
    {
        return service == "rpm" ? readPropertyMultiple(outstanding, seconds)
                                : readRange(outstanding, seconds);
    }

private:
    using Send = std::function<Poco::UInt32(std::size_t lane)>;
    /// What a lane's reply counts (records, or 1 a request).
    using Count = std::function<std::size_t(std::size_t lane, BC::NotificationResponseBase& reply)>;

    Rate readPropertyMultiple(std::size_t outstanding, double seconds)
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
        return pipelined(
            outstanding, seconds, [&](std::size_t) { return _helper.asyncRPM(DEVICE, request); },
            [](std::size_t, BC::NotificationResponseBase& reply) -> std::size_t
            {
                if (dynamic_cast<BC::NotificationResponse<std::vector<BC::DataResponseRPM>>*>(&reply) ==
                    nullptr)
                    throw Poco::RuntimeException("ReadPropertyMultiple failed");
                return 1;
            });
    }

    Rate readRange(std::size_t outstanding, double seconds)
    {
        const BC::DataPropertyKey log(DEVICE, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1),
                                      BC::DataPropertyRef(PROP_LOG_BUFFER));
        BC::ReadRange::Range range;
        range.requestType = BC::ReadRange::RT_BY_POSITION;
        range.count = 1000;
        std::vector<BC::ReadRange::Range> ranges(outstanding, range);
        for (BC::ReadRange::Range& each : ranges)
            each.refIndex = 1;
        return pipelined(
            outstanding, seconds, [&](std::size_t lane) { return _helper.asyncRR(log, ranges[lane]); },
            [&](std::size_t lane, BC::NotificationResponseBase& reply) -> std::size_t
            {
                auto* pPage = dynamic_cast<BC::NotificationResponse<BC::ReadRangeAck::Result>*>(&reply);
                if (pPage == nullptr)
                    throw Poco::RuntimeException("ReadRange failed");
                const BC::ReadRangeAck::Result& page = pPage->getResponse();
                ranges[lane].refIndex =
                    page.itemCnt == 0 || !page.hasMoreItems() ? 1 : ranges[lane].refIndex + page.itemCnt;
                return page.itemCnt;
            });
    }

    /// Keeps one request outstanding in each of `lanes` lanes for `seconds`.
    Rate pipelined(std::size_t lanes, double seconds, const Send& send, const Count& count)
    {
        std::map<Poco::UInt32, std::size_t> laneOf;
        const long switches = contextSwitches();
        const Poco::Timestamp start;
        for (std::size_t lane = 0; lane < lanes; ++lane)
            laneOf[send(lane)] = lane;
        std::size_t counted = 0;
        std::size_t requests = 0;
        while (!laneOf.empty())
        {
            Poco::AutoPtr<Poco::Notification> pNf(
                BC::NotificationResponseUnread::readIfUnread(_responseQueue.waitDequeueNotification()));
            auto* pReply = dynamic_cast<BC::NotificationResponseBase*>(pNf.get());
            auto it = pReply == nullptr ? laneOf.end() : laneOf.find(pReply->getRequestId());
            if (it == laneOf.end())
                continue;
            const std::size_t lane = it->second;
            laneOf.erase(it);
            counted += count(lane, *pReply);
            ++requests;
            if (elapsedSeconds(start) < seconds)
                laneOf[send(lane)] = lane;
        }
        return Rate{counted / elapsedSeconds(start),
                    static_cast<double>(contextSwitches() - switches) / static_cast<double>(requests)};
    }

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

/// The "<name> <key>=<value> ..." lines of a child's output by "<name> <key>".
std::map<std::string, double> figuresOf(const ChildProcess& child)
{
    std::map<std::string, double> figures;
    for (const std::string& line : child.lines(ChildProcess::Stream::OUTPUT))
    {
        const Poco::StringTokenizer words(line, " =", Poco::StringTokenizer::TOK_IGNORE_EMPTY);
        for (std::size_t i = 1; i + 1 < words.count(); i += 2)
            figures[words[0] + " " + words[i]] = Poco::NumberParser::parseFloat(words[i + 1]);
    }
    return figures;
}

/// Runs a benchmark child to its end and returns its figures.
std::map<std::string, double> runChild(const std::string& program, const std::vector<std::string>& args,
                                       double seconds)
{
    ChildProcess child(program, args);
    if (child.wait(static_cast<int>(seconds * 8 * 1000) + 20000) != 0)
        throw Poco::RuntimeException(program + " failed as a benchmark", child.errorText());
    return figuresOf(child);
}

/// client.js as a benchmark against the device with `outstanding` lanes: its figures by name ("rpm
/// requests_per_second", ...).
std::map<std::string, double> theirClient(const Poco::Net::SocketAddress& device, double seconds,
                                          std::size_t outstanding)
{
    return runChild(ChildProcess::locate("node"),
                    {std::string(ORVIK_SOURCE_DIR) + "/tests/peers/bacnet-device/client.js", "--device",
                     device.toString(), "--instance", std::to_string(DEVICE), "--seconds",
                     std::to_string(seconds), "--objects", "5", "--trend-log", "1", "--count", "1000",
                     "--outstanding", std::to_string(outstanding)},
                    seconds);
}

/// Our client's measurements as `--ours` prints them: "<service>/<outstanding> per_second=<r> switches=<s>".
void printOurs(const Poco::Net::SocketAddress& device, double seconds)
{
    OurClient ours(device);
    for (const auto& [service, outstanding] : MEASUREMENTS)
    {
        const Rate rate = ours.measure(service, outstanding, seconds);
        std::printf("%s/%zu per_second=%.1f switches=%.2f\n", service.c_str(), outstanding, rate.perSecond,
                    rate.switchesPerRequest);
    }
    std::fflush(stdout);
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

/// Every sample of the run by "<client> <service>/<outstanding> <figure>".
using Samples = std::map<std::string, std::vector<double>>;

/// The options of a run.
struct Options
{
    double seconds = 2;
    int rounds = 5;
    std::string baseline;  ///< another build's BACnetIPBench, or ""
    std::string ours;      ///< --ours: the device to measure our client alone against
};

void measureOurs(const Poco::Net::SocketAddress& device, const Options& options, Samples& samples)
{
    OurClient ours(device);
    for (const auto& [service, outstanding] : MEASUREMENTS)
    {
        const Rate rate = ours.measure(service, outstanding, options.seconds);
        const std::string name = "after " + service + "/" + std::to_string(outstanding);
        samples[name + " per_second"].push_back(rate.perSecond);
        samples[name + " switches"].push_back(rate.switchesPerRequest);
    }
}

void measureBaseline(const Poco::Net::SocketAddress& device, const Options& options, Samples& samples)
{
    const std::map<std::string, double> figures = runChild(
        options.baseline, {"--ours", device.toString(), "--seconds", std::to_string(options.seconds)},
        options.seconds);
    for (const auto& [name, value] : figures)
        samples["before " + name].push_back(value);
}

void measureTheirs(const Poco::Net::SocketAddress& device, const Options& options, Samples& samples)
{
    for (std::size_t outstanding : {1, 4})
    {
        std::map<std::string, double> figures = theirClient(device, options.seconds, outstanding);
        const std::string lanes = "/" + std::to_string(outstanding) + " per_second";
        samples["js rpm" + lanes].push_back(figures["rpm requests_per_second"]);
        samples["js readrange" + lanes].push_back(figures["readrange records_per_second"]);
    }
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

void printTable(const Samples& samples)
{
    const auto of = [&samples](const std::string& name)
    {
        auto it = samples.find(name);
        return it == samples.end() ? 0.0 : median(it->second);
    };
    std::printf(
        "| Measurement | Outstanding | Before | After | JS | After/JS | Before/JS | Switches/request "
        "before | after | after/before |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (const auto& [service, outstanding] : MEASUREMENTS)
    {
        const std::string name = service + "/" + std::to_string(outstanding);
        const double before = of("before " + name + " per_second");
        const double after = of("after " + name + " per_second");
        const double js = of("js " + name + " per_second");
        const double switchesBefore = of("before " + name + " switches");
        const double switchesAfter = of("after " + name + " switches");
        std::printf("| %s | %zu | %.0f | %.0f | %.0f | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                    service == "rpm" ? "ReadPropertyMultiple requests/s" : "ReadRange records/s", outstanding,
                    before, after, js, after / js, before / js, switchesBefore, switchesAfter,
                    switchesAfter / switchesBefore);
    }
}

/// The rounds: our client, the baseline's (when given) and the JS client take turns, the order rotated
/// each round; then the export once.
int run(const Options& options)
{
    OrvikSiteProcess orvikSite(site());
    const Poco::Net::SocketAddress device = orvikSite.device(DEVICE);
    std::vector<std::function<void(Samples&)>> clients = {
        [&](Samples& samples) { measureOurs(device, options, samples); },
        [&](Samples& samples) { measureTheirs(device, options, samples); }};
    if (!options.baseline.empty())
        clients.insert(clients.begin() + 1,
                       [&](Samples& samples) { measureBaseline(device, options, samples); });
    Samples samples;
    for (int round = 0; round < options.rounds; ++round)
    {
        for (std::size_t turn = 0; turn < clients.size(); ++turn)
            clients[(turn + round) % clients.size()](samples);
        std::fprintf(stderr, "round %d of %d done\n", round + 1, options.rounds);
    }
    std::printf("Medians of %d rounds, %.1f s each measurement\n\n", options.rounds, options.seconds);
    printTable(samples);
    std::printf(
        "\nTrend log export into a discarding stream: %.0f records/s (JS ReadRange, 1 outstanding: %.0f)\n",
        exportRecordsPerSecond(device), median(samples["js readrange/1 per_second"]));
    return 0;
}

Options parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i + 1 < argc; i += 2)
    {
        const std::string name = argv[i];
        if (name == "--seconds")
            options.seconds = Poco::NumberParser::parseFloat(argv[i + 1]);
        else if (name == "--rounds")
            options.rounds = Poco::NumberParser::parse(argv[i + 1]);
        else if (name == "--baseline")
            options.baseline = argv[i + 1];
        else if (name == "--ours")
            options.ours = argv[i + 1];
        else
            throw Poco::InvalidArgumentException("unknown option " + name);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!Orvik::Test::BACnetJSClient::missing().empty())
    {
        std::cerr << Orvik::Test::BACnetJSClient::missing() << std::endl;
        return 77;
    }
    try
    {
        const Options options = parse(argc, argv);
        if (!options.ours.empty())
        {
            printOurs(Poco::Net::SocketAddress(options.ours), options.seconds);
            return 0;
        }
        return run(options);
    }
    catch (const Poco::Exception& e)
    {
        std::cerr << e.displayText() << std::endl;
        return 1;
    }
}
