#pragma once

#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/DataBrokerConnection.h"

#include <mqtt/async_client.h>

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// One MQTT 5 session with any broker (DataBrokerConnection says which and how).
///
/// TLS (mqtts://, wss://): 1.2 or later, the server certificate verified against the CA file or the
/// system's trust store and its name against the URL's host (sent as SNI); the client certificate and
/// the ALPN name when configured. The will (retained, QoS 1) is left with the broker at every connect.
/// The client does not reconnect by itself: its owner calls connect() again while isConnected() is
/// false. Messages published while disconnected are kept in memory (up to _MAX_BUFFERED_MESSAGES, the
/// oldest dropped) and sent after the next connect(). While connected, no more messages are in flight
/// than the broker's receive maximum: publish() waits (up to 2 s) for the oldest to be acknowledged.
/// The broker is asked to send no packet over _MAX_PACKET_BYTES (it drops a larger command).
///
/// Failures: the constructor throws Poco::InvalidArgumentException for a URL of another scheme or
/// without host. connect() returns false for every failed attempt and keeps why (failure()); it throws
/// mqtt::exception only when no attempt can start. publish() and subscribe() throw mqtt::exception when
/// the client refuses the request while connected; subscribe() throws mqtt::timeout_error when the
/// broker does not confirm within 10 s.
///
/// Threads: the owner uses one thread for everything but isConnected(). Messages of subscribed topics
/// reach the handler on the MQTT client's thread; nothing the handler throws escapes.
class BrokerClient : private mqtt::callback
{
public:
    static constexpr int _MAX_BUFFERED_MESSAGES = 10000;

    /// A message of a subscribed topic: its topic, payload and correlation data ("" when none).
    using MessageHandler = std::function<void(const std::string& topic, const std::string& payload,
                                              const std::string& correlation)>;

    BrokerClient(const DataBrokerConnection& connection, const std::string& willTopic,
                 const std::string& willPayload, MessageHandler handler);
    ~BrokerClient() override;

    BrokerClient(const BrokerClient&) = delete;
    BrokerClient& operator=(const BrokerClient&) = delete;

    /// The MQTT client's form of a bridge URL ("tcp://", "ssl://", "ws://", "wss://" with host and
    /// port, the scheme's default port when none is given); throws Poco::InvalidArgumentException
    /// (also for blanks or control characters in it or in the host it names).
    static std::string serverUri(const std::string& url);

    bool connect();
    /// Why the last connect() failed, on one line.
    std::string failure() const;
    bool isConnected() const;
    /// Waits up to 2 s for messages in flight, then says goodbye (the will is not sent).
    void disconnect();

    void publish(const std::string& topic, const std::string& payload, bool retained,
                 const std::string& correlation = "");
    void subscribe(const std::string& filter);

private:
    static constexpr int _QOS = 1;
    static constexpr int _CONNECT_TIMEOUT_SECONDS = 10;
    static constexpr int _SUBSCRIBE_TIMEOUT_MS = 10000;
    static constexpr int _DISCONNECT_TIMEOUT_MS = 2000;
    /// The longest publish() waits for the broker to take the oldest message in flight.
    static constexpr int _IN_FLIGHT_WAIT_MS = 2000;
    /// The largest packet the broker may send the bridge (its commands are small).
    static constexpr int _MAX_PACKET_BYTES = 131072;
    /// How long the broker keeps a persistent session after the connection ends.
    static constexpr int _SESSION_EXPIRY_SECONDS = 86400;

    mqtt::connect_options connectOptions(const DataBrokerConnection& connection, const std::string& willTopic,
                                         const std::string& willPayload);
    mqtt::ssl_options sslOptions(const DataBrokerConnection& connection);
    static std::size_t receiveMaximum(const mqtt::properties& connack);
    void waitForRoomInFlight();
    void message_arrived(mqtt::const_message_ptr message) override;
    void keepTlsError(const std::string& text);

    MessageHandler _handler;
    mqtt::async_client _client;
    mqtt::connect_options _options;
    const bool _withCertificate;
    mutable std::mutex _failureMutex;
    std::string _tlsError;
    std::string _failure;
    /// Messages handed to the MQTT client, oldest first, and how many may be in flight.
    std::deque<mqtt::delivery_token_ptr> _inFlight;
    std::size_t _window = _MAX_BUFFERED_MESSAGES;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
