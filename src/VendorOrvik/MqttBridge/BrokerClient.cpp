#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/BrokerClient.h"

#include <Poco/Exception.h>
#include <Poco/URI.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

namespace
{

struct Scheme
{
    std::string client;
    Poco::UInt16 defaultPort;
    bool secure;
};

const std::map<std::string, Scheme>& schemes()
{
    static const std::map<std::string, Scheme> table = {{"mqtt", {"tcp", 1883, false}},
                                                        {"mqtts", {"ssl", 8883, true}},
                                                        {"ws", {"ws", 80, false}},
                                                        {"wss", {"wss", 443, true}}};
    return table;
}

const Scheme& schemeOf(const Poco::URI& uri)
{
    const auto found = schemes().find(uri.getScheme());
    if (found == schemes().end() || uri.getHost().empty())
    {
        throw Poco::InvalidArgumentException(
            "Broker URL must be mqtt://, mqtts://, ws:// or wss:// with a host", uri.toString());
    }
    return found->second;
}

mqtt::create_options createOptions()
{
    mqtt::create_options options(MQTTVERSION_5, BrokerClient::_MAX_BUFFERED_MESSAGES);
    options.set_send_while_disconnected(true, true);
    options.set_delete_oldest_messages(true);
    return options;
}

}  // namespace

BrokerClient::BrokerClient(const DataBrokerConnection& connection, const std::string& willTopic,
                           const std::string& willPayload, MessageHandler handler)
    : _handler(std::move(handler)),
      _client(serverUri(connection.url), connection.clientId, createOptions(), nullptr),
      _options(connectOptions(connection, willTopic, willPayload)),
      _withCertificate(!connection.certificateFile.empty())
{
    // Here only, before any connect: set_callback takes the client's lock and then the C library's,
    // which the library's thread holds while it completes operations.
    _client.set_callback(*this);
}

BrokerClient::~BrokerClient()
{
    _client.disable_callbacks();
}

std::string BrokerClient::serverUri(const std::string& url)
{
    const Poco::URI uri(url);
    const Scheme& scheme = schemeOf(uri);
    const Poco::UInt16 port = uri.getSpecifiedPort() != 0 ? uri.getSpecifiedPort() : scheme.defaultPort;
    std::string text = scheme.client + "://" + uri.getHost() + ":" + std::to_string(port);
    if (scheme.client == "ws" || scheme.client == "wss")
    {
        text += uri.getPathEtc();
    }
    // The address reaches log lines and the MQTT client as it stands.
    const auto unsafe = [](unsigned char c) { return c <= ' ' || c == 0x7F; };
    if (std::any_of(url.begin(), url.end(), unsafe) || std::any_of(text.begin(), text.end(), unsafe))
    {
        throw Poco::InvalidArgumentException("A broker URL holds no blanks or control characters");
    }
    return text;
}

mqtt::connect_options BrokerClient::connectOptions(const DataBrokerConnection& connection,
                                                   const std::string& willTopic,
                                                   const std::string& willPayload)
{
    mqtt::connect_options options;
    options.set_mqtt_version(MQTTVERSION_5);
    options.set_clean_start(connection.cleanSession);
    // The broker drops a larger command instead of handing the bridge whatever a publisher sent.
    mqtt::properties properties{mqtt::property(mqtt::property::MAXIMUM_PACKET_SIZE, _MAX_PACKET_BYTES)};
    if (!connection.cleanSession)
    {
        properties.add(mqtt::property(mqtt::property::SESSION_EXPIRY_INTERVAL, _SESSION_EXPIRY_SECONDS));
    }
    options.set_properties(properties);
    options.set_keep_alive_interval(static_cast<int>(connection.keepAliveSeconds));
    options.set_connect_timeout(_CONNECT_TIMEOUT_SECONDS);
    options.set_automatic_reconnect(false);
    options.set_will(mqtt::will_options(willTopic, willPayload, _QOS, true));
    if (!connection.userName.empty())
    {
        options.set_user_name(connection.userName);
        options.set_password(connection.password);
    }
    if (schemeOf(Poco::URI(connection.url)).secure)
    {
        options.set_ssl(sslOptions(connection));
    }
    return options;
}

mqtt::ssl_options BrokerClient::sslOptions(const DataBrokerConnection& connection)
{
    mqtt::ssl_options ssl;
    ssl.set_ssl_version(MQTT_SSL_VERSION_TLS_1_2);
    ssl.set_enable_server_cert_auth(true);
    ssl.set_verify(true);  // the host name too
    if (!connection.caFile.empty())
    {
        ssl.set_trust_store(connection.caFile);
    }
    if (!connection.certificateFile.empty())
    {
        ssl.set_key_store(connection.certificateFile);
        ssl.set_private_key(connection.keyFile);
    }
    if (!connection.alpnProtocol.empty())
    {
        ssl.set_alpn_protos({connection.alpnProtocol});
    }
    ssl.set_error_handler([this](const std::string& text) { keepTlsError(text); });
    return ssl;
}

bool BrokerClient::connect()
{
    if (_client.is_connected())
    {
        return true;
    }
    {
        std::lock_guard<std::mutex> lock(_failureMutex);
        _tlsError.clear();
        _failure.clear();
    }
    try
    {
        // The client takes the options by value, and the TLS error handler it calls during the handshake
        // lives in that copy: one full expression keeps the copy alive until the attempt has ended.
        mqtt::token_ptr attempt;
        (attempt = _client.connect(_options))->wait();
        _window = receiveMaximum(attempt->get_connect_response().get_properties());
    }
    catch (const mqtt::exception& error)
    {
        std::lock_guard<std::mutex> lock(_failureMutex);
        _failure = error.get_message().empty() ? error.what() : error.get_message();
        // A refusal in the broker's CONNACK comes as its MQTT 5 reason code.
        if (error.get_return_code() > 0)
        {
            _failure += ": " + mqtt::exception::reason_code_str(error.get_return_code());
        }
        if (!_tlsError.empty())
        {
            _failure += ", TLS: " + _tlsError;
        }
        else if (_withCertificate && error.get_return_code() < 0)
        {
            // A broker that refuses the certificate only closes the connection after the handshake.
            _failure += " (the broker may have refused the client certificate)";
        }
        return false;
    }
    return _client.is_connected();
}

std::string BrokerClient::failure() const
{
    std::lock_guard<std::mutex> lock(_failureMutex);
    std::string line = _failure;
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    return line;
}

bool BrokerClient::isConnected() const
{
    return _client.is_connected();
}

void BrokerClient::disconnect()
{
    if (!_client.is_connected())
    {
        return;
    }
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(_DISCONNECT_TIMEOUT_MS);
    try
    {
        // A disconnect that overtakes messages in flight waits out its whole time-out in the library.
        for (const mqtt::delivery_token_ptr& pending : _client.get_pending_delivery_tokens())
        {
            if (!pending->wait_until(deadline))
            {
                break;
            }
        }
        _client.disconnect(_DISCONNECT_TIMEOUT_MS)->wait();
    }
    catch (const mqtt::exception&)
    {
        // Gone meanwhile: nothing left to say goodbye to.
    }
}

void BrokerClient::publish(const std::string& topic, const std::string& payload, bool retained,
                           const std::string& correlation)
{
    mqtt::message_ptr message = mqtt::make_message(topic, payload, _QOS, retained);
    if (!correlation.empty())
    {
        mqtt::properties properties;
        properties.add(mqtt::property(mqtt::property::CORRELATION_DATA, mqtt::binary_ref(correlation)));
        message->set_properties(properties);
    }
    waitForRoomInFlight();
    _inFlight.push_back(_client.publish(message));
}

std::size_t BrokerClient::receiveMaximum(const mqtt::properties& connack)
{
    // The broker takes this many QoS 1 messages at a time; 65535 when it says nothing.
    const std::size_t announced = connack.contains(mqtt::property::RECEIVE_MAXIMUM)
                                      ? mqtt::get<uint16_t>(connack, mqtt::property::RECEIVE_MAXIMUM)
                                      : 65535;
    return std::clamp<std::size_t>(announced, 1, _MAX_BUFFERED_MESSAGES);
}

void BrokerClient::waitForRoomInFlight()
{
    // The MQTT C library holds a message beyond the broker's receive maximum for up to a second before
    // it sends it, so a burst (a replay after an outage) would crawl: messages wait here instead, for
    // the broker to acknowledge the oldest one.
    while (!_inFlight.empty() &&
           (_inFlight.front()->is_complete() || _inFlight.size() >= _MAX_BUFFERED_MESSAGES))
    {
        _inFlight.pop_front();
    }
    if (_inFlight.size() < _window || !_client.is_connected())
    {
        return;
    }
    try
    {
        _inFlight.front()->wait_for(_IN_FLIGHT_WAIT_MS);
    }
    catch (const mqtt::exception&)
    {
        // Failed or lost with the connection: its room is free either way.
    }
    _inFlight.pop_front();
}

void BrokerClient::subscribe(const std::string& filter)
{
    const mqtt::token_ptr request = _client.subscribe(filter, _QOS);
    if (!request->wait_for(_SUBSCRIBE_TIMEOUT_MS))
    {
        throw mqtt::timeout_error();
    }
}

void BrokerClient::message_arrived(mqtt::const_message_ptr message)
{
    const mqtt::properties& properties = message->get_properties();
    std::string correlation;
    if (properties.contains(mqtt::property::CORRELATION_DATA))
    {
        correlation = mqtt::get<mqtt::binary>(properties, mqtt::property::CORRELATION_DATA);
    }
    try
    {
        _handler(message->get_topic(), message->to_string(), correlation);
    }
    catch (...)
    {
        // The handler's failure costs this one message, never the connection.
    }
}

void BrokerClient::keepTlsError(const std::string& text)
{
    std::lock_guard<std::mutex> lock(_failureMutex);
    _tlsError += (_tlsError.empty() ? "" : "; ") + text;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
