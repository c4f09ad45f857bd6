// The own device's recorded trend logs (TrendLogRecorder, LogStore, RecordedTrendLog).
//
// BM_Recording: 1,000 points (10 devices of 100 analog inputs on the in-process simulated network, served
// by a real client worker) logged every second for 10 s. Baseline in the same run: the same reads (one
// ReadPropertyMultiple of 100 properties per device and second, answers awaited) for 10 s without
// logging. Counters: records logged per second and their share of the 1,000 offered, the process's CPU
// share (user + system over wall time, the simulated devices' work included) while recording and while
// only reading, their ratio, and the file's growth per record (the file closed: the WAL checkpointed).
// BM_Memory: 100 recorded logs of 10,000 records each (written in one transaction per log), read to the
// end by ReadRange page by page through the own device; the growth of the resident memory, now and at its
// peak, over the same process with the logs empty.

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/NotificationResponseDeviceAccess.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_BACnetDevice/LogStore.h"
#include "Orvik_BACnetDevice/Site.h"
#include "TrendLogRecorder.h"

#include <Poco/File.h>
#include <Poco/Logger.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fstream>
#include <string>

namespace
{

using namespace Orvik::BACnet;
using Device::LogStore;

const Poco::UInt32 DEVICES = 10;
const Poco::UInt32 POINTS_PER_DEVICE = 100;
const int SECONDS = 10;

std::string siteOfPoints()
{
    std::string devices;
    for (Poco::UInt32 device = 0; device < DEVICES; ++device)
    {
        std::string objects;
        for (Poco::UInt32 point = 1; point <= POINTS_PER_DEVICE; ++point)
            objects += std::string(point == 1 ? "" : ",") + R"({"type": "analog-input", "instance": )" +
                       std::to_string(point) + R"(, "presentValue": 20.5})";
        devices += std::string(device == 0 ? "" : ",") + R"({"instance": )" + std::to_string(2001 + device) +
                   R"(, "objects": [)" + objects + "]}";
    }
    return R"({"devices": [)" + devices + "]}";
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

/// VmRSS (now) or VmHWM (the peak since the last resetPeak()) in MiB.
double memoryMiB(const std::string& field)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
    {
        if (line.rfind(field + ":", 0) == 0)
            return std::stod(line.substr(field.size() + 1)) / 1024.0;
    }
    return 0;
}

void resetPeak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
}

/// CPU share of the process while `run` takes SECONDS.
template <class Run>
double cpuShareOf(Run run)
{
    const double cpu = cpuSeconds();
    const Poco::Timestamp started;
    run();
    return (cpuSeconds() - cpu) / (static_cast<double>(started.elapsed()) / 1e6);
}

/// The baseline: the recorder's reads, every second on the second, without logging.
void readOnly(Poco::NotificationQueue& clientQueue)
{
    Poco::NotificationQueue replies;
    Client::ServiceHelper helper(&clientQueue, &replies);
    std::vector<Client::NotificationRequestRPM::Parameter> parameters;
    for (Poco::UInt32 point = 1; point <= POINTS_PER_DEVICE; ++point)
        parameters.emplace_back(DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, point),
                                std::vector<Client::DataPropertyRef>{PROP_PRESENT_VALUE});
    for (int second = 0; second < SECONDS; ++second)
    {
        Poco::Thread::sleep(static_cast<long>(Orvik::Gateway::TrendLogRecorder::nextAligned(
                                                  Poco::Timestamp(), Poco::Timespan(1, 0)) -
                                              Poco::Timestamp()) /
                            1000);
        for (Poco::UInt32 device = 0; device < DEVICES; ++device)
            helper.asyncRPM(2001 + device, parameters);
        for (Poco::UInt32 device = 0; device < DEVICES; ++device)
            Poco::AutoPtr<Poco::Notification>(replies.waitDequeueNotification());
    }
}

void BM_Recording(benchmark::State& state)
{
    Poco::TemporaryFile folder;
    folder.createDirectories();
    const std::string path = folder.path() + "/records.db";
    for (auto _ : state)
    {
        auto pSite = Client::Simulation::SimulatedSite::parse(siteOfPoints(), "bench");
        Poco::NotificationQueue clientQueue;
        Client::ClientWorker worker(&clientQueue, *pSite);
        worker.start();
        const double readingShare = cpuShareOf([&] { readOnly(clientQueue); });

        auto pStore = std::make_shared<LogStore>(path);
        for (Poco::UInt32 log = 0; log < DEVICES * POINTS_PER_DEVICE; ++log)
        {
            LogStore::Log settings;
            settings.instance = log + 1;
            settings.reference = DataType::BACnetDeviceObjectPropertyReference(
                DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, log % POINTS_PER_DEVICE + 1),
                PROP_PRESENT_VALUE, BACNET_ARRAY_ALL,
                DataType::ObjectIdentifier(OBJECT_DEVICE, 2001 + log / POINTS_PER_DEVICE));
            settings.interval = Poco::Timespan(1, 0);
            settings.bufferSize = 100000;
            pStore->addLog(settings, true);
        }
        Poco::Timestamp started;
        const double recordingShare = cpuShareOf(
            [&]
            {
                Orvik::Gateway::TrendLogRecorder recorder(pStore, clientQueue, Poco::Logger::get("bench"));
                recorder.start();
                Poco::Thread::sleep(SECONDS * 1000);
                recorder.stop();
            });
        const double seconds = static_cast<double>(started.elapsed()) / 1e6;
        Poco::UInt64 records = 0;
        for (const LogStore::Log& log : pStore->logs())
            records += pStore->state(log.instance).last;
        pStore.reset();  // closed: the WAL is checkpointed into the file
        worker.stop();
        const double offered = DEVICES * POINTS_PER_DEVICE;
        state.counters["records_per_s"] = static_cast<double>(records) / seconds;
        state.counters["of_offered"] = static_cast<double>(records) / seconds / offered;
        state.counters["cpu_recording"] = recordingShare;
        state.counters["cpu_reads_only"] = readingShare;
        state.counters["cpu_ratio"] = recordingShare / readingShare;
        state.counters["bytes_per_record"] =
            static_cast<double>(Poco::File(path).getSize()) / static_cast<double>(records);
    }
}

void BM_Memory(benchmark::State& state)
{
    const Poco::UInt32 logs = 100;
    const Poco::UInt32 perLog = 10000;
    Poco::TemporaryFile folder;
    folder.createDirectories();
    std::string objects;
    for (Poco::UInt32 log = 1; log <= logs; ++log)
        objects += std::string(log == 1 ? "" : ",") + R"({"type": "trend-log", "instance": )" +
                   std::to_string(log) +
                   R"(, "logs": "device:2001/analog-input:1", "record": {"bufferSize": 10000}})";
    std::ofstream(folder.path() + "/own.json") << R"({"devices": [{"objects": [)" << objects << "]}]}";
    for (auto _ : state)
    {
        auto pStore = std::make_shared<LogStore>(folder.path() + "/records.db");
        const auto pSite = Device::Site::loadOwnDevice(folder.path() + "/own.json", 1001, pStore);
        const double empty = memoryMiB("VmRSS");
        resetPeak();
        const Poco::Timestamp start(Poco::Timestamp() - Poco::Timespan(perLog, 0));
        for (Poco::UInt32 log = 1; log <= logs; ++log)
        {
            std::vector<LogStore::Entry> entries(perLog);
            for (Poco::UInt32 n = 0; n < perLog; ++n)
            {
                entries[n].instance = log;
                entries[n].record.time = start + Poco::Timespan(n, 0);
                entries[n].record.datum.setReal(static_cast<float>(n));
            }
            pStore->append(entries);
        }
        Poco::UInt64 read = 0;
        for (Poco::UInt32 log = 1; log <= logs; ++log)
        {
            Codec::ReadRange::Request request;
            request.objectIdentifier = DataType::ObjectIdentifier(OBJECT_TREND_LOG, log);
            request.range.type = Codec::ReadRange::BY_POSITION;
            request.range.count = 1000;
            for (request.range.referenceIndex = 1;;)
            {
                const auto served =
                    pSite->serve(1001, Device::ServiceRequest(request), {}, Poco::Timestamp());
                const auto& ack = std::get<Codec::ReadRange::Ack>(served.reply->payload);
                read += ack.itemCount;
                if (ack.itemCount == 0 || (ack.resultFlags & Codec::ReadRange::LAST_ITEM) != 0)
                    break;
                request.range.referenceIndex += ack.itemCount;
            }
        }
        state.counters["records_read"] = static_cast<double>(read);
        state.counters["rss_empty_MiB"] = empty;
        state.counters["rss_growth_MiB"] = memoryMiB("VmRSS") - empty;
        state.counters["peak_growth_MiB"] = memoryMiB("VmHWM") - empty;
        state.counters["file_MiB"] =
            static_cast<double>(Poco::File(folder.path() + "/records.db").getSize()) / (1024.0 * 1024.0);
    }
}

}  // namespace

BENCHMARK(BM_Recording)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Memory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK_MAIN();
