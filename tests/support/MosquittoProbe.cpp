#include "MosquittoProbe.h"

#include "MosquittoBroker.h"

#include <atomic>
#include <chrono>

namespace Orvik::Test
{

namespace
{

const int WAIT_MS = 10000;

std::string nextProbeId()
{
    static std::atomic<int> counter{0};
    return "orvik-test-probe-" + std::to_string(++counter);
}

}  // namespace

MosquittoProbe::MosquittoProbe(const MosquittoBroker& broker, const std::string& topicFilter,
                               const std::string& caFile, const std::string& user,
                               const std::string& password)
    : _client(broker.uri(), nextProbeId())
{
    _client.set_callback(*this);
    mqtt::connect_options options;
    options.set_clean_session(true);
    options.set_connect_timeout(10);
    if (!user.empty())
    {
        options.set_user_name(user);
        options.set_password(password);
    }
    if (!caFile.empty())
    {
        mqtt::ssl_options ssl;
        ssl.set_trust_store(caFile);
        options.set_ssl(ssl);
    }
    _client.connect(options)->wait();
    if (!_client.subscribe(topicFilter, 1)->wait_for(WAIT_MS))
        throw mqtt::timeout_error();
}

MosquittoProbe::~MosquittoProbe()
{
    _client.disable_callbacks();
    try
    {
        if (_client.is_connected())
            _client.disconnect(1000)->wait_for(WAIT_MS);
    }
    catch (const mqtt::exception&)
    {
        // The broker may be gone already.
    }
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

void MosquittoProbe::publish(const std::string& topic, const std::string& payload)
{
    if (!_client.publish(topic, payload.data(), payload.size(), 1, false)->wait_for(WAIT_MS))
        throw mqtt::timeout_error();
}

void MosquittoProbe::message_arrived(mqtt::const_message_ptr message)
{
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _messages.push_back({message->get_topic(), message->to_string()});
    }
    _arrived.notify_all();
}

}  // namespace Orvik::Test
