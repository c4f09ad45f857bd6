#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/MqttBridgeSettings.h"

#include "Orvik_Watson/Topics.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/BrokerClient.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointTopics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"

#include <Poco/Exception.h>

#include <iostream>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

using WatsonMQTT::BridgeSettings;
using WatsonMQTT::ObjectIdentities;

const std::string MqttBridgeSettings::_DEFAULT_PREFIX = "bacnet";

bool MqttBridgeSettings::read(const std::vector<ValueContainer>& values, Poco::UInt32 gatewayDevice,
                              ObjectIdentities& objects, const std::string& consolePrefix)
{
    ValueIterator it = values.begin();
    const ValueIterator end = values.end();
    readConnection(it, end, gatewayDevice);
    BridgeSettings::readObjects(it, end, gatewayDevice, ObjectIdentities::F_PUBLISH, objects);
    BridgeSettings::readObjects(it, end, gatewayDevice, ObjectIdentities::F_SUBSCRIBE, objects);
    BridgeSettings::readNumbers(
        it, end, {&outageQueueMegabytes, &messagesPerSecond, &bytesPerSecond, &pollIntervalSeconds});
    const std::string why = problem();
    if (!why.empty())
    {
        std::cout << consolePrefix << "broker parameters not usable: " << why << std::endl;
    }
    return why.empty();
}

void MqttBridgeSettings::readConnection(ValueIterator& it, ValueIterator end, Poco::UInt32 gatewayDevice)
{
    // Each reader takes the next value; one that is missing or NULL keeps the default.
    const auto next = [&]() -> const ValueContainer*
    {
        const ValueContainer* pValue = it == end ? nullptr : &*it++;
        return pValue == nullptr || pValue->isNull() ? nullptr : pValue;
    };
    const auto text = [&](std::string& target)
    {
        if (const ValueContainer* pValue = next())
        {
            target = pValue->getCharString();
        }
    };
    const auto number = [&](Poco::UInt32& target)
    {
        if (const ValueContainer* pValue = next())
        {
            target = pValue->getUInt();
        }
    };
    const auto flag = [&](bool& target)
    {
        if (const ValueContainer* pValue = next())
        {
            target = pValue->getBool();
        }
    };
    text(connection.url);
    text(connection.clientId);
    number(connection.keepAliveSeconds);
    bool persistent = false;
    flag(persistent);
    connection.cleanSession = !persistent;
    for (std::string* pText :
         {&connection.userName, &connection.password, &connection.caFile, &connection.certificateFile,
          &connection.keyFile, &connection.alpnProtocol, &prefix})
    {
        text(*pText);
    }
    flag(retainValues);
    number(covLifetimeSeconds);
    if (connection.clientId.empty())
    {
        connection.clientId = "orvik-gateway-" + std::to_string(gatewayDevice);
    }
}

std::string MqttBridgeSettings::problem() const
{
    if (connection.url.empty())
    {
        return "the broker URL is missing";
    }
    for (const auto& [number, text] :
         {std::make_pair(_BROKER_URL, connection.url), std::make_pair(_CLIENT_ID, connection.clientId),
          std::make_pair(_TOPIC_PREFIX, prefix)})
    {
        const std::string why = problemWith(number, text);
        if (!why.empty())
        {
            return "parameter " + std::to_string(number) + " " + why;
        }
    }
    if (connection.certificateFile.empty() != connection.keyFile.empty())
    {
        return "a client certificate needs its key and a key its certificate";
    }
    return "";
}

std::string MqttBridgeSettings::problemWith(Poco::Int32 number, const std::string& text)
{
    switch (number)
    {
        case _BROKER_URL:
            // Credentials in the URL would reach the log lines that name the broker.
            if (text.find('@') != std::string::npos)
            {
                return "must not hold a user name or password (they have parameters of their own)";
            }
            try
            {
                BrokerClient::serverUri(text);
                return "";
            }
            catch (const Poco::Exception&)
            {
                return "is not an mqtt://, mqtts://, ws:// or wss:// URL with a host";
            }
        case _CLIENT_ID:
            return Watson_IOTP::Topics::isValidLevel(text)
                       ? ""
                       : "cannot be an MQTT client id (empty, \"/\", \"+\", \"#\", "
                         "control characters or not UTF-8)";
        case _TOPIC_PREFIX:
            return PointTopics::problemWithPrefix(text);
        default:
            return "";
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
