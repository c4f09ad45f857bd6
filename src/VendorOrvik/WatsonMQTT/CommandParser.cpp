#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CommandParser.h"

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_Watson/Topics.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/JSONException.h>
#include <Poco/JSON/ParseHandler.h>
#include <Poco/JSON/Parser.h>
#include <Poco/JSON/Stringifier.h>
#include <Poco/String.h>
#include <Poco/StringTokenizer.h>

#include <algorithm>
#include <sstream>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::Client::DataPropertyKey;

namespace
{

bool isWriteCommand(const std::string& name)
{
    return name.size() >= 2 && name.size() <= 3 && name.compare(0, 2, "wp") == 0;
}

/// RFC 9110 token characters: what an HTTP method consists of (one at least).
bool isHttpMethod(const std::string& method)
{
    return !method.empty() &&
           std::all_of(method.begin(), method.end(),
                       [](char c)
                       {
                           return std::isalnum(static_cast<unsigned char>(c)) ||
                                  std::string("!#$%&'*+-.^_`|~").find(c) != std::string::npos;
                       });
}

/// A request target is visible ASCII (other characters are percent-encoded): a blank or a control
/// character would end the request line, and an empty target would leave it malformed.
bool isHttpPath(const std::string& path)
{
    return !path.empty() && std::all_of(path.begin(), path.end(),
                                        [](char c)
                                        {
                                            const auto byte = static_cast<unsigned char>(c);
                                            return byte > 0x20 && byte < 0x7F;
                                        });
}

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace

CommandParser::CommandParser(const std::string& gatewayType, const std::string& gatewayId,
                             FindCommandable findCommandable)
    : _gatewayType(gatewayType), _gatewayId(gatewayId), _findCommandable(std::move(findCommandable))
{
}

DataCheckedCommand CommandParser::parse(const std::string& commandName, const DataWatsonKey& device,
                                        const std::string& payload) const
{
    DataCheckedCommand command;
    try
    {
        const std::string name = Poco::toLower(commandName);
        if (isWriteCommand(name))
        {
            parseWrite(name, device, payload, command);
        }
        else if (name == EventText::_BACNET_WS)
        {
            parseBACnetWs(payload, command);
        }
        else
        {
            throw Poco::InvalidArgumentException("Invalid Command type: " + name);
        }
    }
    catch (const Poco::Exception& error)
    {
        command.forwardBACnetWs = false;
        command.error = error.message().empty() ? error.displayText() : error.message();
    }
    return command;
}

void CommandParser::parseWrite(const std::string& name, const DataWatsonKey& device,
                               const std::string& payload, DataCheckedCommand& command) const
{
    const Poco::UInt32 priority = writePriority(name);
    const Poco::JSON::Object::Ptr data = commandData(payload);
    for (const auto& member : *data)
    {
        command.writes.push_back(checkMember(device, member.first, member.second, priority));
    }
}

DataCheckedCommand::Write CommandParser::checkMember(const DataWatsonKey& device, const std::string& name,
                                                     const Poco::Dynamic::Var& value,
                                                     Poco::UInt32 priority) const
{
    if (value.type() == typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("Value expected");
    }
    const Poco::StringTokenizer parts(name, "_", Poco::StringTokenizer::TOK_TRIM);
    if (parts.count() != 2)
    {
        throw Poco::JSON::JSONException("Invalid name/property combination");
    }
    const DataWatsonKey watson(device.deviceType, device.deviceId, parts[0]);
    DataObjectKey object;
    if (!_findCommandable(watson, object))
    {
        throw Poco::JSON::JSONException("Unknown object reference: " + quoted(watson.getKey()));
    }
    return writeOf(object, parts[1], valueText(value), priority);
}

DataCheckedCommand::Write CommandParser::writeOf(const DataObjectKey& object, const std::string& propertyName,
                                                 const std::string& text, Poco::UInt32 priority)
{
    DataCheckedCommand::Write write = targetOf(object, propertyName, priority);
    BACnetDataType dataType = BACNET_DT_NULL;
    BACNET_APPLICATION_TAG appTag = MAX_BACNET_APPLICATION_TAG;
    BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
    if (!ValueContainer::getValueTypeAndStructure(
            object.getObjectType(), write.target.propertyRef.propertyIdentifier, dataType, appTag, structure))
    {
        throw Poco::JSON::JSONException("Property not known for the object type: " + quoted(propertyName));
    }
    // A list for a single-valued property does not fit its datatype either.
    if (!write.value.setText(dataType, appTag, text, structure != BACNET_DTS_SINGLE_VALUE))
    {
        throw Poco::JSON::JSONException("Value does not fit the datatype of " + propertyName + ": " +
                                        quoted(text));
    }
    if (structure == BACNET_DTS_ARRAY && write.value.getStructure() == BACNET_DTS_LIST)
    {
        write.value.setStructure(BACNET_DTS_ARRAY);
    }
    return write;
}

DataCheckedCommand::Write CommandParser::relinquishOf(const DataObjectKey& object,
                                                      const std::string& propertyName, Poco::UInt32 priority)
{
    DataCheckedCommand::Write write = targetOf(object, propertyName, priority);
    write.value.setNull();
    return write;
}

DataCheckedCommand::Write CommandParser::targetOf(const DataObjectKey& object,
                                                  const std::string& propertyName, Poco::UInt32 priority)
{
    Poco::UInt32 propertyId = 0;
    if (!ProtocolText::propertyIndex(propertyName, propertyId))
    {
        throw Poco::JSON::JSONException("Unknown property name: " + quoted(propertyName));
    }
    DataCheckedCommand::Write write;
    write.target = DataPropertyKey(object, static_cast<BACNET_PROPERTY_ID>(propertyId));
    write.priority = priority;
    return write;
}

void CommandParser::parseBACnetWs(const std::string& payload, DataCheckedCommand& command) const
{
    const Poco::JSON::Object::Ptr data = commandData(payload);
    const Poco::Dynamic::Var clientId = data->get("client-id");
    if (clientId.isEmpty() || clientId.type() == typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("\"client-id \"\" missing or not a string");
    }
    command.clientId = clientId.toString();
    if (!data->isObject("ws"))
    {
        throw Poco::JSON::JSONException("\"ws \"\" missing or not an object");
    }
    bool bodyIsObject = false;
    for (const auto& member : *data->getObject("ws"))
    {
        if (member.first == "method")
        {
            command.method = Poco::toUpper(member.second.toString());
        }
        else if (member.first == "path")
        {
            command.path = member.second.toString();
        }
        else if (member.first == "payload")
        {
            command.body = member.second.toString();
            bodyIsObject = member.second.type() == typeid(Poco::JSON::Object::Ptr);
        }
    }
    if (!command.body.empty() && !bodyIsObject)
    {
        throw Poco::JSON::JSONException("BACnet/WS payload is not an object");
    }
    // The client id names the reply event; method and path go into the request line as they are.
    // The refusals quote them escaped: they may hold line breaks meant to forge console lines.
    if (!Watson_IOTP::Topics::isValidEvent(
            _gatewayType, _gatewayId, EventText::_BACNET_WS + "-" + command.clientId, EventText::_FORMAT))
    {
        throw Poco::JSON::JSONException("client-id not usable in an event name: " +
                                        EventText::jsonString(command.clientId));
    }
    if (!isHttpMethod(command.method))
    {
        throw Poco::JSON::JSONException("Invalid BACnet/WS method: " + EventText::jsonString(command.method));
    }
    if (!isHttpPath(command.path))
    {
        throw Poco::JSON::JSONException("Invalid BACnet/WS path: " + EventText::jsonString(command.path));
    }
    command.forwardBACnetWs = true;
}

Poco::UInt32 CommandParser::writePriority(const std::string& name)
{
    if (name.size() < 3)
    {
        return 16;
    }
    const char digit = name[2];
    if (digit >= '0' && digit <= '9' && digit != '5')
    {
        return static_cast<Poco::UInt32>(digit - '0') + 1;
    }
    if (digit >= 'a' && digit <= 'f')
    {
        return static_cast<Poco::UInt32>(digit - 'a') + 11;
    }
    throw Poco::JSON::JSONException("Unexpected Write Property Priority value");
}

Poco::JSON::Object::Ptr CommandParser::commandData(const std::string& payload)
{
    Poco::JSON::Parser parser(new Poco::JSON::ParseHandler(false));
    const Poco::Dynamic::Var result = parser.parse(payload);
    if (result.type() != typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("JSON object exepcted");
    }
    const Poco::JSON::Object::Ptr object = result.extract<Poco::JSON::Object::Ptr>();
    if (!object->isObject("d"))
    {
        throw Poco::JSON::JSONException("Object \"d\" missing");
    }
    return object->getObject("d");
}

std::string CommandParser::valueText(const Poco::Dynamic::Var& value)
{
    if (value.type() != typeid(Poco::JSON::Array::Ptr))
    {
        return value.toString();
    }
    // One line, as the stored value grammar reads lists ("[1, 2]"), not the library's indented form.
    std::ostringstream text;
    Poco::JSON::Stringifier::condense(value, text);
    return text.str();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
