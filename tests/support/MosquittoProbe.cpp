#include "MosquittoProbe.h"

#include "MosquittoBroker.h"

#include <Poco/Exception.h>

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>

namespace Orvik::Test
{

namespace
{

const int WAIT_MS = 10000;
const int KEEP_ALIVE_SECONDS = 60;

std::string nextProbeId()
{
    static std::atomic<int> counter{0};
    return "orvik-test-probe-" + std::to_string(++counter);
}

/// libmosquitto's process-wide set-up, once before the first probe.
void initialiseLibrary()
{
    static const int initialised = mosquitto_lib_init();
    (void)initialised;
}

}  // namespace

MosquittoProbe::MosquittoProbe(const MosquittoBroker& broker, const std::string& topicFilter,
                               const std::string& caFile, const std::string& user,
                               const std::string& password, const std::string& certFile,
                               const std::string& keyFile, bool persistentSession)
{
    initialiseLibrary();
    _pClient = mosquitto_new(nextProbeId().c_str(), !persistentSession, this);
    if (_pClient == nullptr)
        throw Poco::IOException("MQTT probe: no client");
    mosquitto_connect_callback_set(_pClient, &MosquittoProbe::onConnect);
    mosquitto_subscribe_callback_set(_pClient, &MosquittoProbe::onSubscribe);
    mosquitto_publish_callback_set(_pClient, &MosquittoProbe::onPublish);
    mosquitto_message_v5_callback_set(_pClient, &MosquittoProbe::onMessage);
    try
    {
        check(mosquitto_int_option(_pClient, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5), "MQTT 5");
        if (!user.empty())
            check(mosquitto_username_pw_set(_pClient, user.c_str(), password.c_str()), "credentials");
        if (!caFile.empty())
            check(mosquitto_tls_set(_pClient, caFile.c_str(), nullptr,
                                    certFile.empty() ? nullptr : certFile.c_str(),
                                    keyFile.empty() ? nullptr : keyFile.c_str(), nullptr),
                  "TLS");
        mosquitto_property* pProperties = nullptr;
        if (persistentSession)
            check(mosquitto_property_add_int32(&pProperties, MQTT_PROP_SESSION_EXPIRY_INTERVAL, 3600),
                  "session");
        const int connected = mosquitto_connect_bind_v5(_pClient, "127.0.0.1", broker.port(),
                                                        KEEP_ALIVE_SECONDS, nullptr, pProperties);
        mosquitto_property_free_all(&pProperties);
        check(connected, "connect");
        check(mosquitto_loop_start(_pClient), "network thread");
        awaitAcknowledgement([this] { return _connectResult >= 0; }, "connect");
        if (_connectResult != 0)
            throw Poco::IOException("MQTT probe: connect refused", mosquitto_connack_string(_connectResult));
        check(mosquitto_subscribe(_pClient, nullptr, topicFilter.c_str(), 1), "subscribe");
        awaitAcknowledgement([this] { return _subscribed; }, "subscribe");
    }
    catch (...)
    {
        mosquitto_loop_stop(_pClient, true);
        mosquitto_destroy(_pClient);
        throw;
    }
}

MosquittoProbe::~MosquittoProbe()
{
    mosquitto_disconnect(_pClient);  // the broker may be gone already
    mosquitto_loop_stop(_pClient, true);
    mosquitto_destroy(_pClient);
}

bool MosquittoProbe::waitUntil(const std::function<bool(const std::vector<Message>&)>& holds,
                               int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(_mutex);
    return _arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return holds(_messages); });
}

bool MosquittoProbe::waitForMessages(std::size_t count, int timeoutMs) const
{
    return waitUntil([count](const std::vector<Message>& messages) { return messages.size() >= count; },
                     timeoutMs);
}

bool MosquittoProbe::waitForMatches(const std::function<bool(const Message&)>& matches,
                                    std::size_t count) const
{
    return waitUntil(
        [&](const std::vector<Message>& messages)
        { return std::count_if(messages.begin(), messages.end(), matches) >= std::ptrdiff_t(count); });
}

std::vector<MosquittoProbe::Message> MosquittoProbe::messages() const
{
    std::lock_guard<std::mutex> lock(_mutex);
    return _messages;
}

std::vector<MosquittoProbe::Message> MosquittoProbe::messagesOn(const std::string& topic) const
{
    std::vector<Message> selected;
    for (const Message& message : messages())
    {
        if (message.topic == topic)
            selected.push_back(message);
    }
    return selected;
}

void MosquittoProbe::clear()
{
    std::lock_guard<std::mutex> lock(_mutex);
    _messages.clear();
}

void MosquittoProbe::publish(const std::string& topic, const std::string& payload,
                             const std::string& correlation)
{
    int messageId = 0;
    mosquitto_property* pProperties = nullptr;
    if (!correlation.empty())
        check(mosquitto_property_add_binary(&pProperties, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                            static_cast<std::uint16_t>(correlation.size())),
              "correlation data");
    const int result =
        mosquitto_publish_v5(_pClient, &messageId, topic.c_str(), static_cast<int>(payload.size()),
                             payload.data(), 1, false, pProperties);
    mosquitto_property_free_all(&pProperties);
    check(result, "publish");
    awaitAcknowledgement(
        [&] { return std::find(_published.begin(), _published.end(), messageId) != _published.end(); },
        "publish");
}

void MosquittoProbe::awaitAcknowledgement(const std::function<bool()>& done, const std::string& what)
{
    std::unique_lock<std::mutex> lock(_mutex);
    if (!_arrived.wait_for(lock, std::chrono::milliseconds(WAIT_MS), done))
        throw Poco::TimeoutException("MQTT probe: no answer to its " + what);
}

void MosquittoProbe::check(int result, const std::string& what)
{
    if (result != MOSQ_ERR_SUCCESS)
        throw Poco::IOException("MQTT probe: " + what + " failed", mosquitto_strerror(result));
}

void MosquittoProbe::note(void* pProbe, const std::function<void(MosquittoProbe&)>& change)
{
    auto& probe = *static_cast<MosquittoProbe*>(pProbe);
    {
        std::lock_guard<std::mutex> lock(probe._mutex);
        change(probe);
    }
    probe._arrived.notify_all();
}

void MosquittoProbe::onConnect(mosquitto*, void* pProbe, int result)
{
    note(pProbe, [result](MosquittoProbe& probe) { probe._connectResult = result; });
}

void MosquittoProbe::onSubscribe(mosquitto*, void* pProbe, int, int, const int*)
{
    note(pProbe, [](MosquittoProbe& probe) { probe._subscribed = true; });
}

void MosquittoProbe::onPublish(mosquitto*, void* pProbe, int messageId)
{
    note(pProbe, [messageId](MosquittoProbe& probe) { probe._published.push_back(messageId); });
}

void MosquittoProbe::onMessage(mosquitto*, void* pProbe, const mosquitto_message* pMessage,
                               const mosquitto_property* pProperties)
{
    std::string correlation;
    void* pData = nullptr;
    std::uint16_t length = 0;
    if (mosquitto_property_read_binary(pProperties, MQTT_PROP_CORRELATION_DATA, &pData, &length, false) !=
        nullptr)
    {
        correlation.assign(static_cast<const char*>(pData), length);
        free(pData);
    }
    Message message{pMessage->topic,
                    std::string(static_cast<const char*>(pMessage->payload),
                                static_cast<std::size_t>(pMessage->payloadlen)),
                    correlation, pMessage->retain};
    note(pProbe, [&message](MosquittoProbe& probe) { probe._messages.push_back(std::move(message)); });
}

}  // namespace Orvik::Test
