#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointTopics.h"

#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_Watson/Topics.h"

#include <Poco/NumberParser.h>
#include <Poco/StringTokenizer.h>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::DataType::ObjectIdentifier;

namespace
{

/// The largest instance of a device or object (22 bits).
const Poco::UInt32 MAX_INSTANCE = 4194303;

bool instanceOf(const std::string& text, Poco::UInt32& instance)
{
    unsigned value = 0;
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        !Poco::NumberParser::tryParseUnsigned(text, value) || value > MAX_INSTANCE)
    {
        return false;
    }
    instance = value;
    return true;
}

bool objectTypeOf(const std::string& text, Poco::UInt32& type)
{
    return ProtocolText::objectTypeIndex(text, type) || (instanceOf(text, type) && type < 1024);
}

std::string levels(const std::string& topic, std::size_t from)
{
    return from < topic.size() ? topic.substr(from) : std::string();
}

}  // namespace

const std::string PointTopics::_SET = "set";
const std::string PointTopics::_RESULT = "result";

PointTopics::PointTopics(const std::string& prefix) : _prefix(prefix) {}

std::string PointTopics::problemWithPrefix(const std::string& prefix)
{
    const Poco::StringTokenizer parts(prefix, "/");
    bool usable = !prefix.empty() && prefix.back() != '/' && prefix.front() != '/';
    for (const std::string& level : parts)
    {
        usable = usable && Watson_IOTP::Topics::isValidLevel(level);
    }
    if (!usable)
    {
        return "every level must be a text without \"+\", \"#\" or control characters, none empty";
    }
    // Room for the levels of a point and "/set/result" within what an MQTT topic may hold.
    if (prefix.size() > Watson_IOTP::Topics::MAX_TOPIC_BYTES - _POINT_LEVELS_BYTES)
    {
        return "is longer than " +
               std::to_string(Watson_IOTP::Topics::MAX_TOPIC_BYTES - _POINT_LEVELS_BYTES) + " bytes";
    }
    return "";
}

std::string PointTopics::valueTopic(const DataObjectKey& object, BACNET_PROPERTY_ID property) const
{
    return _prefix + "/" + std::to_string(object.deviceInstance) + "/" +
           ProtocolText::objectTypeName(object.getObjectType()) + "/" +
           std::to_string(object.getObjectInstance()) + "/" + ProtocolText::propertyName(property);
}

std::string PointTopics::statusTopic() const
{
    return _prefix + "/status";
}

std::string PointTopics::commandFilter() const
{
    return _prefix + "/+/+/+/+/" + _SET;
}

bool PointTopics::parseCommand(const std::string& topic, DataObjectKey& object,
                               std::string& propertyName) const
{
    if (topic.compare(0, _prefix.size() + 1, _prefix + "/") != 0)
    {
        return false;
    }
    const Poco::StringTokenizer parts(levels(topic, _prefix.size() + 1), "/");
    Poco::UInt32 device = 0;
    Poco::UInt32 type = 0;
    Poco::UInt32 instance = 0;
    if (parts.count() != 5 || parts[4] != _SET || !instanceOf(parts[0], device) ||
        !objectTypeOf(parts[1], type) || !instanceOf(parts[2], instance))
    {
        return false;
    }
    object = DataObjectKey(device, ObjectIdentifier(type, instance));
    propertyName = parts[3];
    return true;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
