#include "Orvik_Watson/IOTP_Client.h"

#include "Orvik_Watson/Topics.h"

#include <Poco/Exception.h>

#include <algorithm>
#include <chrono>
#include <iostream>

namespace Watson_IOTP
{

namespace
{

mqtt::create_options createOptions()
{
    mqtt::create_options options(MQTTVERSION_3_1_1, IOTP_Client::MAX_BUFFERED_MESSAGES);
    options.set_send_while_disconnected(true, true);
    options.set_delete_oldest_messages(true);
    return options;
}

/// A disconnect that overtakes messages still in flight waits out its whole time-out in the MQTT library,
/// even once the broker has acknowledged them, and then drops the connection without a DISCONNECT.
/// Waiting for their acknowledgements first (until the deadline) makes it immediate and clean.
void awaitMessagesInFlight(mqtt::async_client& client, std::chrono::steady_clock::time_point deadline)
{
    for (const mqtt::delivery_token_ptr& pending : client.get_pending_delivery_tokens())
    {
        try
        {
            if (!pending->wait_until(deadline))
            {
                return;
            }
        }
        catch (const mqtt::exception&)
        {
            // A delivery that failed is no longer in flight.
        }
    }
}

}  // namespace

IOTP_Client::IOTP_Client(const Properties& properties, const std::string& clientId, int port)
    : _properties(properties),
      _clientId(clientId),
      _broker(properties, port),
      _client(_broker.uri(), clientId, createOptions(), nullptr)
{
    // Here only, before any connect: set_callback holds the client's lock while it takes the MQTT C
    // library's, and the library's receive thread takes them the other way round as operations complete.
    _client.set_callback(*this);
}

IOTP_Client::~IOTP_Client()
{
    _client.disable_callbacks();
    setCommandHandler(nullptr);
}

bool IOTP_Client::connect()
{
    if (_client.is_connected())
    {
        return true;
    }
    _subscribedTopics.clear();
    mqtt::token_ptr attempt = _client.connect(connectOptions());
    try
    {
        attempt->wait();
    }
    catch (const mqtt::exception&)
    {
        return false;
    }
    return _client.is_connected();
}

void IOTP_Client::disconnect()
{
    if (!_client.is_connected())
    {
        return;
    }
    try
    {
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(_DISCONNECT_TIMEOUT_MS);
        awaitMessagesInFlight(_client, deadline);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        _client.disconnect(static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0)))
            ->wait();
    }
    catch (const mqtt::exception&)
    {
        // The connection may have dropped on its own meanwhile; only a live one is a failure.
        if (_client.is_connected())
        {
            throw;
        }
    }
}

bool IOTP_Client::isConnected() const
{
    return _client.is_connected();
}

void IOTP_Client::setCommandHandler(CommandCallback* handler)
{
    std::lock_guard<std::mutex> lock(_handlerMutex);
    _pHandler = handler;
}

void IOTP_Client::publish(const std::string& topic, const std::string& data, int qos)
{
    if (data.size() > MAX_PAYLOAD_BYTES)
    {
        throw Poco::InvalidArgumentException("Payload larger than the platform accepts",
                                             std::to_string(data.size()) + " bytes");
    }
    _client.publish(topic, data.data(), data.size(), qos, false);
}

void IOTP_Client::subscribe(const std::string& topic, int qos)
{
    if (!_subscribedTopics.insert(topic).second)
    {
        return;
    }
    try
    {
        const mqtt::token_ptr request = _client.subscribe(topic, qos);
        for (int waited = 0; !request->wait_for(_SUBSCRIBE_SLICE_MS); waited += _SUBSCRIBE_SLICE_MS)
        {
            if (!_client.is_connected())
            {
                // Cut short by a lost connection: made again after the next connect().
                _subscribedTopics.erase(topic);
                return;
            }
            if (waited >= _SUBSCRIBE_TIMEOUT_MS)
            {
                throw mqtt::timeout_error();
            }
        }
    }
    catch (const mqtt::exception&)
    {
        _subscribedTopics.erase(topic);
        if (_client.is_connected())
        {
            throw;
        }
    }
}

mqtt::connect_options IOTP_Client::connectOptions() const
{
    mqtt::connect_options options;
    options.set_mqtt_version(MQTTVERSION_3_1_1);
    options.set_clean_session(true);
    options.set_keep_alive_interval(_KEEP_ALIVE_SECONDS);
    options.set_connect_timeout(_CONNECT_TIMEOUT_SECONDS);
    options.set_automatic_reconnect(false);
    if (_properties.getauthMethod() == "token")
    {
        options.set_user_name("use-token-auth");
        options.set_password(_properties.getauthToken());
    }
    if (_broker.secure())
    {
        options.set_ssl(sslOptions());
    }
    return options;
}

mqtt::ssl_options IOTP_Client::sslOptions() const
{
    mqtt::ssl_options ssl;
    ssl.set_ssl_version(MQTT_SSL_VERSION_TLS_1_2);
    ssl.set_enable_server_cert_auth(true);
    ssl.set_verify(true);
    if (!_properties.gettrustStore().empty())
    {
        ssl.set_trust_store(_properties.gettrustStore());
    }
    return ssl;
}

void IOTP_Client::message_arrived(mqtt::const_message_ptr message)
{
    std::unique_ptr<Command> command = Topics::parseCommand(message->get_topic(), message->to_string());
    if (command)
    {
        deliver(*command);
    }
}

void IOTP_Client::deliver(Command& command)
{
    // Nothing may escape into the MQTT library's thread: a throwing handler costs this one
    // command, never the connection.
    try
    {
        std::lock_guard<std::mutex> lock(_handlerMutex);
        if (_pHandler != nullptr)
        {
            _pHandler->processCommand(command);
        }
    }
    catch (const std::exception& error)
    {
        std::cerr << "Watson command " << command.getCommandName() << " dropped: " << error.what()
                  << std::endl;
    }
    catch (...)
    {
        std::cerr << "Watson command " << command.getCommandName() << " dropped" << std::endl;
    }
}

}  // namespace Watson_IOTP
