// The cloud bridge's publishing path on a real mosquitto broker on loopback.
//
// BM_CovEvents: COV notifications (present-value and status-flags of an analog input) turned into
// "COV" event texts as the bridge builds them and published at QoS 1 through the gateway client, against
// the same event texts published at QoS 1 with a bare Paho client. The two alternate batch by batch (the
// order swapped every iteration), so that a change of the machine's load hits both alike. Each batch is
// timed (wall time) from the first publish until a subscriber has received all of it, so the broker's
// work is in both; "ratio" is the bridge's time over the raw client's time for the same events.
// BM_CovLatency: one notification at a time, from the notification's arrival at the bridge's
// publishing path to its delivery at the subscriber, whose wait wakes on the message; median and 99th
// percentile in microseconds.

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_Watson/GatewayClient.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include "MosquittoBroker.h"
#include "MosquittoProbe.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::EventText;
using Orvik::BACnet::Client::DataResponseCOV;

namespace
{

const int BATCH = 1000;
const std::string TOPIC = "iot-2/type/0005-X/id/Boiler/evt/COV/fmt/json";

/// The broker, the bridge's client, a bare Paho client and the cloud's subscriber, shared by all runs.
struct Setup
{
    Setup()
    {
        Orvik::MQTT::Watson::DataConnection connection;
        connection.setOrgId("bench");
        connection.setDomain("127.0.0.1:" + std::to_string(broker.port()));
        connection.setDeviceType("gwtype");
        connection.setDeviceId("gw1");
        connection.setAuthToken("token");
        connection.setPort(1883);
        gateway = std::make_unique<Orvik::MQTT::Watson::GatewayClient>(connection);
        if (!gateway->connect())
        {
            throw std::runtime_error("the gateway client cannot connect to the broker");
        }
        raw.connect()->wait();
    }

    Orvik::Test::MosquittoBroker broker;
    Orvik::Test::MosquittoProbe cloud{broker, "iot-2/#"};
    std::unique_ptr<Orvik::MQTT::Watson::GatewayClient> gateway;
    mqtt::async_client raw{broker.uri(), "bench-raw", mqtt::create_options(MQTTVERSION_3_1_1, 10000),
                           nullptr};
};

Setup& setup()
{
    static Setup shared;
    return shared;
}

DataResponseCOV notification(int sequence)
{
    DataResponseCOV cov;
    cov.initiatingDeviceInstance = 2001;
    cov.monitoredObjectIdentifier = Orvik::BACnet::DataType::ObjectIdentifier(0, 1);
    Orvik::BACnet::ValueContainer value;
    value.setReal(20.0f + static_cast<float>(sequence % 1000) / 100.0f);
    Orvik::BACnet::ValueContainer flags;
    flags.setBitString(Orvik::BACnet::DataType::BitString(Orvik::Utility::BitBuffer(4)));
    cov.values.emplace_back(Orvik::BACnet::Client::DataPropertyRef(Orvik::BACnet::PROP_PRESENT_VALUE), value);
    cov.values.emplace_back(Orvik::BACnet::Client::DataPropertyRef(Orvik::BACnet::PROP_STATUS_FLAGS), flags);
    return cov;
}

/// What the bridge does with one notification: the event text, published at QoS 1.
void publishAsBridge(const DataResponseCOV& cov)
{
    std::vector<EventText::NamedValue> values;
    for (const DataResponseCOV::Value& value : cov.values)
    {
        values.emplace_back(Orvik::BACnet::ProtocolText::propertyName(value.propertyRef.propertyIdentifier),
                            value.value.getText());
    }
    setup().gateway->publishDeviceEvent("0005-X", "Boiler", "COV", "json", EventText::values("Hall", values),
                                        1);
}

std::vector<DataResponseCOV> batch()
{
    std::vector<DataResponseCOV> notifications;
    for (int i = 0; i < BATCH; ++i)
    {
        notifications.push_back(notification(i));
    }
    return notifications;
}

/// Publishes one batch with publish and returns the seconds until the subscriber had all of it.
template <class Publish>
double timedBatch(benchmark::State& state, Publish publish)
{
    Setup& s = setup();
    s.cloud.clear();
    const auto start = std::chrono::steady_clock::now();
    publish();
    if (!s.cloud.waitForMessages(BATCH, 60000))
    {
        state.SkipWithError("events lost");
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_CovEvents(benchmark::State& state)
{
    Setup& s = setup();
    const std::vector<DataResponseCOV> notifications = batch();
    std::vector<std::string> texts;
    for (const DataResponseCOV& cov : notifications)
    {
        texts.push_back(EventText::values("Hall", {{"present-value", cov.values[0].value.getText()},
                                                   {"status-flags", cov.values[1].value.getText()}}));
    }
    const auto raw = [&s, &texts]
    {
        for (const std::string& text : texts)
        {
            s.raw.publish(TOPIC, text.data(), text.size(), 1, false);
        }
    };
    const auto bridge = [&notifications]
    {
        for (const DataResponseCOV& cov : notifications)
        {
            publishAsBridge(cov);
        }
    };
    double rawSeconds = 0, bridgeSeconds = 0;
    bool rawFirst = true;
    for (auto _ : state)
    {
        double took = 0;
        if (rawFirst)
        {
            rawSeconds += timedBatch(state, raw);
            bridgeSeconds += took = timedBatch(state, bridge);
        }
        else
        {
            bridgeSeconds += took = timedBatch(state, bridge);
            rawSeconds += timedBatch(state, raw);
        }
        rawFirst = !rawFirst;
        state.SetIterationTime(took);
    }
    const double events = static_cast<double>(state.iterations() * BATCH);
    state.counters["raw_events/s"] = events / rawSeconds;
    state.counters["bridge_events/s"] = events / bridgeSeconds;
    state.counters["ratio"] = bridgeSeconds / rawSeconds;
}

void BM_CovLatency(benchmark::State& state)
{
    Setup& s = setup();
    std::vector<double> microseconds;
    int sequence = 0;
    for (auto _ : state)
    {
        s.cloud.clear();
        const DataResponseCOV cov = notification(sequence++);
        const auto start = std::chrono::steady_clock::now();
        publishAsBridge(cov);
        if (!s.cloud.waitForMessages(1, 10000))
        {
            state.SkipWithError("event lost");
        }
        const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count() / 1e6);
        microseconds.push_back(took.count());
    }
    std::sort(microseconds.begin(), microseconds.end());
    if (!microseconds.empty())
    {
        state.counters["median_us"] = microseconds[microseconds.size() / 2];
        state.counters["p99_us"] =
            microseconds[std::min(microseconds.size() - 1, microseconds.size() * 99 / 100)];
    }
}

}  // namespace

BENCHMARK(BM_CovEvents)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_CovLatency)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

BENCHMARK_MAIN();
