// The bridges' outage queue (OutageQueue) against a bare append of the same bytes to a file.
//
// BM_OutageQueue: values (the MQTT bridge's topic and payload of an analog input) pushed into the queue
// file; BM_RawAppend: the same bytes appended with one write() each, the least a queue on disk can do.
// The two alternate in blocks of 1 000 so that a change of the machine's load hits both alike; "ratio"
// is the queue's values per second over the bare append's. "writes_per_value" counts the process's write
// system calls (/proc/self/io syscw) per value pushed, "bytes_per_value" the bytes it wrote.

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointMessages.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointTopics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include "TextFile.h"

#include <Poco/TemporaryFile.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>

using namespace Orvik::BACnet::App::VendorOrvik::MqttBridge;
using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::OutageQueue;

namespace
{

const int BLOCK = 1000;

/// A counter of /proc/self/io ("syscw", "wchar").
long long processIo(const std::string& name)
{
    std::istringstream io(Orvik::Test::readFile("/proc/self/io"));
    std::string key;
    long long value = 0;
    while (io >> key >> value)
    {
        if (key == name + ":")
            return value;
    }
    return 0;
}

OutageQueue::Message hallValue()
{
    Orvik::BACnet::ValueContainer value;
    value.setReal(21.5f);
    Orvik::BACnet::ValueContainer flags;
    flags.setBitString(Orvik::BACnet::DataType::BitString(Orvik::Utility::BitBuffer(4)));
    const Orvik::BACnet::Client::DataObjectKey hall(2001, Orvik::BACnet::DataType::ObjectIdentifier(0, 1));
    return {Poco::Timestamp(),
            {PointTopics("site7").valueTopic(hall, Orvik::BACnet::PROP_PRESENT_VALUE),
             PointMessages::value(value, "degrees-celsius", &flags, Poco::Timestamp())}};
}

template <class Push>
double timedBlock(Push push)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < BLOCK; ++i)
        push();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_OutageQueue(benchmark::State& state)
{
    Poco::TemporaryFile queueFile;
    Poco::TemporaryFile rawFile;
    OutageQueue queue(queueFile.path(), 10 * 1024 * 1024);
    const int raw = ::open(rawFile.path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    const OutageQueue::Message message = hallValue();
    const std::string bytes = message.texts[0] + message.texts[1];
    double queueSeconds = 0, rawSeconds = 0;
    long long writes = 0, written = 0;
    bool queueFirst = true;
    for (auto _ : state)
    {
        const auto pushQueue = [&]
        {
            const long long writesBefore = processIo("syscw");
            const long long bytesBefore = processIo("wchar");
            queueSeconds += timedBlock([&] { queue.push(message); });
            writes += processIo("syscw") - writesBefore;
            written += processIo("wchar") - bytesBefore;
        };
        const auto pushRaw = [&] {
            rawSeconds +=
                timedBlock([&] { benchmark::DoNotOptimize(::write(raw, bytes.data(), bytes.size())); });
        };
        queueFirst ? (pushQueue(), pushRaw()) : (pushRaw(), pushQueue());
        queueFirst = !queueFirst;
    }
    ::close(raw);
    const double values = static_cast<double>(state.iterations() * BLOCK);
    state.counters["queue_values/s"] = values / queueSeconds;
    state.counters["raw_values/s"] = values / rawSeconds;
    state.counters["ratio"] = rawSeconds / queueSeconds;
    state.counters["writes_per_value"] = static_cast<double>(writes) / values;
    state.counters["bytes_per_value"] = static_cast<double>(written) / values;
}

}  // namespace

BENCHMARK(BM_OutageQueue)->Iterations(20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
