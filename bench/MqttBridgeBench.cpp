// The MQTT bridge for any broker: its outage queue, and its publishing path on a real mosquitto broker.
//
// BM_OutageQueue: values (the MQTT bridge's topic and payload of an analog input) pushed into the queue
// file; BM_RawAppend: the same bytes appended with one write() each, the least a queue on disk can do.
// The two alternate in blocks of 1 000 so that a change of the machine's load hits both alike; "ratio"
// is the queue's values per second over the bare append's. "writes_per_value" counts the process's write
// system calls (/proc/self/io syscw) per value pushed, "bytes_per_value" the bytes it wrote.
//
// BM_BridgeEvents: batches of 1 000 values, each built as the bridge builds it (topic and JSON payload)
// and published at QoS 1 through the bridge's BrokerClient (MQTT 5), against the same texts published at
// QoS 1 by a bare Paho client (MQTT 3.1.1, as the cloud bridge's bench), batch by batch in turn. Each batch
// is timed until a subscriber has all of it; "ratio" is the median over the batch pairs of the bridge's
// events per second over the bare client's. The argument is the broker's receive maximum: MQTT 5 lets the
// bridge have no more messages unacknowledged, while the bare MQTT 3.1.1 client has no such limit (20 is
// mosquitto's default).
//
// A third client in the same rotation, a bare Paho client over MQTT 5 that keeps its own window of the
// broker's receive maximum as the bridge does (waiting for the oldest acknowledgement), is what a bare
// client of the bridge's protocol needs with this library: "ratio_mqtt5" is the median of the bridge's
// events per second over its, the cost of the bridge itself (texts, client, window) without the protocol's.
//
// BM_BareMqtt5Events: the same prebuilt texts published by a bare Paho client over MQTT 5 that leaves the
// flow control to the library (no window of its own, as the bridge keeps), timed as above; one batch, for
// its rate (Debian 12's Paho C holds what goes beyond the broker's receive maximum for about a second).

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointMessages.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointTopics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include "MosquittoBroker.h"
#include "MosquittoProbe.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/BrokerClient.h"
#include "TextFile.h"

#include <Poco/TemporaryFile.h>
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

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

OutageQueue::Message hallValue(float reading = 21.5f)
{
    Orvik::BACnet::ValueContainer value;
    value.setReal(reading);
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

/// The median of the rounds: a burst of load on the shared machine spoils a round, not the run.
double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

/// Publishes one batch with `publish` and returns the seconds until `cloud` had all of it.
template <class Publish>
double timedBatch(benchmark::State& state, Orvik::Test::MosquittoProbe& cloud, Publish publish)
{
    cloud.clear();
    const auto start = std::chrono::steady_clock::now();
    publish();
    if (!cloud.waitForMessages(BLOCK, 60000))
        state.SkipWithError("values lost");
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_BridgeEvents(benchmark::State& state)
{
    Orvik::Test::MosquittoBroker::Options options;
    options.receiveMaximum = static_cast<int>(state.range(0));
    Orvik::Test::MosquittoBroker broker(options);
    Orvik::Test::MosquittoProbe cloud{broker, "site7/#"};
    DataBrokerConnection connection;
    connection.url = "mqtt://127.0.0.1:" + std::to_string(broker.port());
    connection.clientId = "bench-bridge";
    BrokerClient bridge(connection, "site7/status", "offline", [](auto&&...) {});
    mqtt::async_client raw{broker.uri(), "bench-raw", mqtt::create_options(MQTTVERSION_3_1_1, 10000),
                           nullptr};
    mqtt::async_client raw5{broker.uri(), "bench-raw5", mqtt::create_options(MQTTVERSION_5, 10000), nullptr};
    if (!bridge.connect())
        throw std::runtime_error("the bridge's client cannot connect: " + bridge.failure());
    raw.connect()->wait();
    raw5.connect(mqtt::connect_options_builder().mqtt_version(MQTTVERSION_5).finalize())->wait();
    std::vector<OutageQueue::Message> values;
    for (int i = 0; i < BLOCK; ++i)
        values.push_back(hallValue(20.0f + static_cast<float>(i) / 100.0f));
    const auto publishAsBridge = [&]
    {
        for (int i = 0; i < BLOCK; ++i)
        {
            const OutageQueue::Message value = hallValue(20.0f + static_cast<float>(i) / 100.0f);
            bridge.publish(value.texts[0], value.texts[1], false);
        }
    };
    const auto publishRaw = [&]
    {
        for (const OutageQueue::Message& value : values)
            raw.publish(value.texts[0], value.texts[1].data(), value.texts[1].size(), 1, false);
    };
    const auto window = static_cast<std::size_t>(state.range(0));
    const auto publishRaw5 = [&]
    {
        std::deque<mqtt::delivery_token_ptr> inFlight;
        for (const OutageQueue::Message& value : values)
        {
            if (inFlight.size() >= window)
            {
                inFlight.front()->wait();
                inFlight.pop_front();
            }
            inFlight.push_back(
                raw5.publish(value.texts[0], value.texts[1].data(), value.texts[1].size(), 1, false));
        }
    };
    // Seconds of each client, summed, and its time in each round.
    std::array<double, 3> seconds{}, round{};
    const std::array<std::function<void()>, 3> publishers{publishAsBridge, publishRaw, publishRaw5};
    std::vector<double> ratios, ratiosMqtt5;
    std::size_t first = 0;
    for (auto _ : state)
    {
        // Each client goes first in turn, so a change of the machine's load hits all alike.
        for (std::size_t i = 0; i < publishers.size(); ++i)
        {
            const std::size_t client = (first + i) % publishers.size();
            round[client] = timedBatch(state, cloud, publishers[client]);
            seconds[client] += round[client];
        }
        first = (first + 1) % publishers.size();
        ratios.push_back(round[1] / round[0]);
        ratiosMqtt5.push_back(round[2] / round[0]);
    }
    raw5.disconnect()->wait();
    raw.disconnect()->wait();
    bridge.disconnect();
    const double events = static_cast<double>(state.iterations() * BLOCK);
    state.counters["bridge_events/s"] = events / seconds[0];
    state.counters["raw_events/s"] = events / seconds[1];
    state.counters["raw_mqtt5_events/s"] = events / seconds[2];
    state.counters["ratio"] = median(ratios);
    state.counters["ratio_mqtt5"] = median(ratiosMqtt5);
}

void BM_BareMqtt5Events(benchmark::State& state)
{
    Orvik::Test::MosquittoBroker broker;
    Orvik::Test::MosquittoProbe cloud{broker, "site7/#"};
    mqtt::async_client raw{broker.uri(), "bench-raw5", mqtt::create_options(MQTTVERSION_5, 10000), nullptr};
    raw.connect(mqtt::connect_options_builder().mqtt_version(MQTTVERSION_5).finalize())->wait();
    std::vector<OutageQueue::Message> values;
    for (int i = 0; i < BLOCK; ++i)
        values.push_back(hallValue(20.0f + static_cast<float>(i) / 100.0f));
    double seconds = 0;
    for (auto _ : state)
        seconds += timedBatch(state, cloud,
                              [&]
                              {
                                  for (const OutageQueue::Message& value : values)
                                      raw.publish(value.texts[0], value.texts[1].data(),
                                                  value.texts[1].size(), 1, false);
                              });
    raw.disconnect()->wait();
    state.counters["bare_mqtt5_events/s"] = static_cast<double>(state.iterations() * BLOCK) / seconds;
}

}  // namespace

BENCHMARK(BM_BridgeEvents)->Arg(20)->Arg(100)->Iterations(30)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareMqtt5Events)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OutageQueue)->Iterations(20)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
