#pragma once

#include <mqtt/async_client.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::Test
{

class MosquittoBroker;

/// A test's own MQTT client on a MosquittoBroker: it watches topics and publishes.
///
/// The constructor connects (plain or TLS as the broker speaks, trusting `caFile`) and
/// subscribes to `topicFilter` at QoS 1 before it returns; it throws mqtt::exception when
/// either fails. Messages are kept in arrival order. Waits wake on each arrival and end after
/// `timeoutMs` so that a missing message fails the test instead of hanging it.
class MosquittoProbe : private mqtt::callback
{
public:
    struct Message
    {
        std::string topic;
        std::string payload;
    };

    MosquittoProbe(const MosquittoBroker& broker, const std::string& topicFilter,
                   const std::string& caFile = "", const std::string& user = "",
                   const std::string& password = "");
    ~MosquittoProbe() override;

    /// Waits until `holds` is true of the messages that have arrived (in arrival order); false when it
    /// is not by `timeoutMs`. It is checked at once and at each arrival, so the wait ends with the
    /// message that makes it true (a latency bench relies on that). `holds` runs under the probe's
    /// lock: it must not call the probe.
    bool waitUntil(const std::function<bool(const std::vector<Message>&)>& holds,
                   int timeoutMs = 30000) const;
    /// Waits until at least `count` messages have arrived; false when the time ran out.
    bool waitForMessages(std::size_t count, int timeoutMs = 30000) const;
    std::vector<Message> messages() const;
    /// Messages of one topic, in arrival order.
    std::vector<Message> messagesOn(const std::string& topic) const;
    void clear();
    /// Publishes at QoS 1 and waits for the broker's acknowledgement.
    void publish(const std::string& topic, const std::string& payload);

private:
    void message_arrived(mqtt::const_message_ptr message) override;

    mqtt::async_client _client;
    mutable std::mutex _mutex;
    mutable std::condition_variable _arrived;
    std::vector<Message> _messages;
};

}  // namespace Orvik::Test
