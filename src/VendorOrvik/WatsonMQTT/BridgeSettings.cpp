#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeSettings.h"

#include "Orvik_BACnet/DataType/BACnetDeviceObjectReference.h"
#include "Orvik_Watson/BrokerAddress.h"
#include "Orvik_Watson/Topics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <algorithm>
#include <iostream>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::DataType::BACnetDeviceObjectReference;
using Orvik::MQTT::Watson::DataConnection;

BridgeSettings::BridgeSettings(const std::string& consolePrefix) : _consolePrefix(consolePrefix) {}

bool BridgeSettings::read(const std::vector<ValueContainer>& values, Poco::UInt32 gatewayDevice,
                          ObjectIdentities& objects)
{
    ValueIterator it = values.begin();
    if (!readConnection(it, values.end()))
    {
        return false;
    }
    readSetup(it, values.end());
    readObjects(it, values.end(), gatewayDevice, ObjectIdentities::F_PUBLISH, objects);
    readObjects(it, values.end(), gatewayDevice, ObjectIdentities::F_SUBSCRIBE, objects);
    // Databases made before parameter 12 existed end here: the defaults hold.
    readNumbers(it, values.end(), {&outageQueueMegabytes, &messagesPerSecond, &bytesPerSecond});
    return true;
}

bool BridgeSettings::readConnection(ValueIterator& it, ValueIterator end)
{
    using Setter = void (DataConnection::*)(const std::string&);
    struct Text
    {
        Setter setter;
        bool fatal;
    };
    const Text texts[] = {{&DataConnection::setOrgId, true},       {&DataConnection::setDomain, false},
                          {&DataConnection::setDeviceType, true},  {&DataConnection::setDeviceId, true},
                          {&DataConnection::setAuthMethod, false}, {&DataConnection::setAuthToken, true}};
    bool complete = true;
    for (const Text& text : texts)
    {
        if (it == end)
        {
            return false;
        }
        if (it->isNull())
        {
            complete = complete && !text.fatal;
        }
        else
        {
            (connection.*text.setter)(it->getCharString());
        }
        ++it;
    }
    if (it == end)
    {
        return false;
    }
    const bool portConfigured = !it->isNull();
    if (portConfigured)
    {
        const int port =
            it->getBool() ? Watson_IOTP::BrokerAddress::SECURE_PORT : Watson_IOTP::BrokerAddress::PLAIN_PORT;
        connection.setPort(port);
        // The port dialled: a domain that names a local broker may carry a port of its own.
        std::cout << "Port used: " << Watson_IOTP::BrokerAddress(connection, port).port() << std::endl;
    }
    ++it;
    return complete && portConfigured && isUsableGateway();
}

std::string BridgeSettings::problemWith(Poco::Int32 number, const std::string& text)
{
    if (number != _ORG_ID && number != _GATEWAY_TYPE && number != _GATEWAY_ID)
    {
        return "";
    }
    if (!Watson_IOTP::Topics::isValidLevel(text))
    {
        return "cannot be part of an MQTT topic or client id (empty, \"/\", \"+\", \"#\", control characters "
               "or not UTF-8)";
    }
    // The shortest partner name still has one character.
    if (number != _ORG_ID && !Watson_IOTP::Topics::isValidEvent(number == _GATEWAY_TYPE ? text : "x",
                                                                number == _GATEWAY_ID ? text : "x",
                                                                EventText::_COV_EVENT, EventText::_FORMAT))
    {
        return "makes an MQTT topic longer than " + std::to_string(Watson_IOTP::Topics::MAX_TOPIC_BYTES) +
               " bytes";
    }
    return "";
}

bool BridgeSettings::isUsableGateway() const
{
    // The gateway's type and id name every topic of the gateway, and with the organisation they make
    // the MQTT client id: unusable ones can never connect.
    std::string problem = ObjectIdentities::problemWith(
        DataWatsonKey(connection.getDeviceType(), connection.getDeviceId(), "-"));
    if (problem.empty() && !Watson_IOTP::Topics::isValidLevel(connection.getOrgId()))
    {
        problem = "the organisation id cannot be part of an MQTT client id";
    }
    if (!problem.empty())
    {
        std::cout << _consolePrefix << "gateway parameters not usable: " << problem << std::endl;
    }
    return problem.empty();
}

void BridgeSettings::readSetup(ValueIterator& it, ValueIterator end)
{
    if (it == end)
    {
        return;
    }
    if (!it->isNull())
    {
        setupParams.covParams.lifetime = it->getUInt();
    }
    if (++it == end)
    {
        return;
    }
    if (!it->isNull())
    {
        setupParams.pollRateSeconds = it->getUInt();
    }
    ++it;
}

void BridgeSettings::readNumbers(ValueIterator& it, ValueIterator end,
                                 std::initializer_list<Poco::UInt32*> numbers)
{
    for (Poco::UInt32* pNumber : numbers)
    {
        if (it == end)
        {
            return;
        }
        if (!it->isNull())
        {
            *pNumber = it->getUInt();
        }
        ++it;
    }
}

void BridgeSettings::readObjects(ValueIterator& it, ValueIterator end, Poco::UInt32 gatewayDevice,
                                 ObjectIdentities::Flags flag, ObjectIdentities& objects)
{
    if (it == end)
    {
        return;
    }
    std::vector<BACnetDeviceObjectReference> references;
    it->getValues(references);
    ++it;
    std::vector<DataObjectKey> keys;
    for (const BACnetDeviceObjectReference& reference : references)
    {
        // A reference without device names an object of the controller's own device.
        keys.emplace_back(reference.hasDevice() ? reference.getDeviceInstance() : gatewayDevice,
                          reference.getObjectIdentifier());
    }
    std::sort(keys.begin(), keys.end());
    for (const DataObjectKey& key : keys)
    {
        objects.configure(key, flag);
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
