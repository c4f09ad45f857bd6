#pragma once

#include "Orvik_Watson/BrokerAddress.h"
#include "Orvik_Watson/Command.h"
#include "Orvik_Watson/CommandCallback.h"
#include "Orvik_Watson/Properties.h"

#include <mqtt/async_client.h>

#include <cstddef>
#include <mutex>
#include <set>
#include <string>

namespace Watson_IOTP
{

/// One MQTT session with the platform's broker (see BrokerAddress for where that is).
///
/// Connection: MQTT 3.1.1, clean session, keep-alive 30 s, connect time-out 10 s. With the
/// authentication method "token" the user name is "use-token-auth" and the password the
/// token; with any other method no credentials are sent. The client does not reconnect
/// by itself: its owner calls `connect()` again when `isConnected()` turns false.
///
/// Events published while the connection is down are kept in memory (up to
/// `MAX_BUFFERED_MESSAGES`, the oldest dropped first) and sent after the next successful
/// `connect()`. Subscriptions belong to one connection: after a reconnection the owner
/// subscribes again.
///
/// How failures are reported:
/// - `connect()` returns false for every failure of the connection attempt: broker not
///   reachable, time-out, TLS handshake or certificate verification failed, credentials or
///   client id refused by the broker. It throws `mqtt::exception` only when no attempt
///   can be started at all (for example unusable TLS options). It never throws
///   `mqtt::security_exception`: a refused certificate or token is a condition that the
///   owner retries at its own pace, not a reason to tear the owner down.
/// - `disconnect()` does nothing when not connected; it throws `mqtt::exception` when
///   the broker cannot be told goodbye while the connection stands.
/// - Publishing throws Poco::InvalidArgumentException for a payload larger than the
///   platform accepts (`MAX_PAYLOAD_BYTES`) and for a topic that Topics refuses; nothing is
///   sent then. Publishing and subscribing throw `mqtt::exception` when the MQTT client
///   refuses the request while connected, and subscribing throws `mqtt::timeout_error` when the broker
///   does not confirm within 10 s. A subscription that a lost connection cuts short
///   returns quietly as not made: subscriptions are made again after the next connect().
///
/// Messages of subscribed topics that have the form of a command topic (see Topics) are
/// delivered to the command handler; any other message is dropped.
///
/// Threads: the owner uses one thread for everything except `setCommandHandler` and
/// `isConnected`, which may be called from any thread. Commands are delivered on the MQTT
/// client's own thread.
class IOTP_Client : private mqtt::callback
{
public:
    static constexpr int MAX_BUFFERED_MESSAGES = 10000;
    /// The largest message payload the platform accepts.
    static constexpr std::size_t MAX_PAYLOAD_BYTES = 131072;

    /// Throws Poco::InvalidArgumentException for an unusable port (see BrokerAddress).
    IOTP_Client(const Properties& properties, const std::string& clientId, int port);
    /// Detaches the command handler (waiting for a command in progress) and releases the
    /// MQTT client; an open connection is dropped without a goodbye.
    ~IOTP_Client() override;

    IOTP_Client(const IOTP_Client&) = delete;
    IOTP_Client& operator=(const IOTP_Client&) = delete;

    /// True when the connection stands afterwards (see the class comment for failures).
    bool connect();
    void disconnect();
    bool isConnected() const;
    /// Commands of subscribed topics go to `handler` from now on; null detaches. Waits for
    /// a command that is being delivered to the previous handler.
    void setCommandHandler(CommandCallback* handler);

    const BrokerAddress& brokerAddress() const { return _broker; }
    const std::string& clientId() const { return _clientId; }

protected:
    const Properties& properties() const { return _properties; }
    void publish(const std::string& topic, const std::string& data, int qos);
    /// Subscribes once per connection and waits for the broker's confirmation; a repeated
    /// subscription of a topic does nothing.
    void subscribe(const std::string& topic, int qos);

private:
    static constexpr int _KEEP_ALIVE_SECONDS = 30;
    static constexpr int _CONNECT_TIMEOUT_SECONDS = 10;
    static constexpr int _SUBSCRIBE_TIMEOUT_MS = 10000;
    static constexpr int _SUBSCRIBE_SLICE_MS = 100;
    static constexpr int _DISCONNECT_TIMEOUT_MS = 2000;

    mqtt::connect_options connectOptions() const;
    mqtt::ssl_options sslOptions() const;
    void message_arrived(mqtt::const_message_ptr message) override;
    void deliver(Command& command);

    Properties _properties;
    std::string _clientId;
    BrokerAddress _broker;
    mqtt::async_client _client;
    std::set<std::string> _subscribedTopics;
    std::mutex _handlerMutex;
    CommandCallback* _pHandler = nullptr;
};

}  // namespace Watson_IOTP
