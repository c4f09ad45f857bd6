#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;

namespace Orvik::Test
{

class MosquittoBroker;

/// A test's own MQTT client on a MosquittoBroker: it watches topics and publishes. It speaks
/// through libmosquitto, a client library apart from the one under test, on a network thread of its
/// own.
///
/// The constructor connects with MQTT 5 (plain or TLS as the broker speaks, trusting `caFile`, with
/// a client certificate when given; with a persistent session the broker keeps its subscription and
/// messages while it is away, and it comes back by itself after a broker's restart) and
/// subscribes to `topicFilter` at QoS 1 before it returns; it throws Poco::IOException when
/// either fails. Messages are kept in arrival order. Waits wake on each arrival and end after
/// `timeoutMs` so that a missing message fails the test instead of hanging it.
class MosquittoProbe
{
public:
    struct Message
    {
        std::string topic;
        std::string payload;
        std::string correlation;  ///< correlation data, "" when none
        bool retained = false;
    };

    MosquittoProbe(const MosquittoBroker& broker, const std::string& topicFilter,
                   const std::string& caFile = "", const std::string& user = "",
                   const std::string& password = "", const std::string& certFile = "",
                   const std::string& keyFile = "", bool persistentSession = false);
    ~MosquittoProbe();
    MosquittoProbe(const MosquittoProbe&) = delete;
    MosquittoProbe& operator=(const MosquittoProbe&) = delete;

    /// Waits until `holds` is true of the messages that have arrived (in arrival order); false when it
    /// is not by `timeoutMs`. It is checked at once and at each arrival, so the wait ends with the
    /// message that makes it true (a latency bench relies on that). `holds` runs under the probe's
    /// lock: it must not call the probe.
    bool waitUntil(const std::function<bool(const std::vector<Message>&)>& holds,
                   int timeoutMs = 30000) const;
    /// Waits until at least `count` messages have arrived; false when the time ran out.
    bool waitForMessages(std::size_t count, int timeoutMs = 30000) const;
    /// Waits until at least `count` of the messages that have arrived match; false when the time ran out.
    bool waitForMatches(const std::function<bool(const Message&)>& matches, std::size_t count = 1) const;
    std::vector<Message> messages() const;
    /// Messages of one topic, in arrival order.
    std::vector<Message> messagesOn(const std::string& topic) const;
    void clear();
    /// Publishes at QoS 1 (with correlation data unless empty) and waits for the broker's acknowledgement.
    void publish(const std::string& topic, const std::string& payload, const std::string& correlation = "");

private:
    static void onConnect(mosquitto*, void* pProbe, int result);
    static void onSubscribe(mosquitto*, void* pProbe, int, int, const int*);
    static void onPublish(mosquitto*, void* pProbe, int messageId);
    static void onMessage(mosquitto*, void* pProbe, const mosquitto_message* pMessage,
                          const mqtt5__property* pProperties);
    /// Waits until `done` holds of the acknowledgements so far; throws when the time ran out.
    void awaitAcknowledgement(const std::function<bool()>& done, const std::string& what);
    static void check(int result, const std::string& what);
    /// Makes `change` to the probe under its lock (a callback's news) and wakes the waits.
    static void note(void* pProbe, const std::function<void(MosquittoProbe&)>& change);

    mosquitto* _pClient = nullptr;
    mutable std::mutex _mutex;
    mutable std::condition_variable _arrived;
    std::vector<Message> _messages;
    int _connectResult = -1;  ///< -1 until the broker answered the connect
    bool _subscribed = false;
    std::vector<int> _published;  ///< message ids the broker acknowledged
};

}  // namespace Orvik::Test
