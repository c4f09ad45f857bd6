#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/PointMessages.h"

#include "Orvik_BACnet/DataType/BitString.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CommandParser.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/JSON/JSONException.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/NumberFormatter.h>

#include <cmath>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

using Orvik::BACnet::Client::DataObjectKey;
using WatsonMQTT::CommandParser;
using WatsonMQTT::DataCheckedCommand;
using WatsonMQTT::EventText;

namespace
{

const char* const STATUS_FLAG_NAMES[] = {"inAlarm", "fault", "overridden", "outOfService"};
/// BACnet reserves priority 6 for minimum on and off times.
const Poco::UInt32 RESERVED_PRIORITY = 6;

std::string number(double value)
{
    return std::isfinite(value) ? Poco::NumberFormatter::format(value, 17) : "null";
}

}  // namespace

std::string PointMessages::value(const ValueContainer& value, const std::string& units,
                                 const ValueContainer* pStatusFlags, const Poco::Timestamp& time)
{
    return "{\"value\":" + valueJson(value) +
           ",\"units\":" + (units.empty() ? std::string("null") : EventText::jsonString(units)) +
           ",\"statusFlags\":" +
           (pStatusFlags == nullptr ? std::string("null") : statusFlagsJson(*pStatusFlags)) + ",\"time\":\"" +
           EventText::isoTime(time) + "\"}";
}

std::string PointMessages::valueJson(const ValueContainer& value)
{
    if (value.isNull() || value.getStructure() != BACNET_DTS_SINGLE_VALUE)
    {
        return value.isNull() ? "null" : EventText::jsonString(value.getString());
    }
    switch (value.getAppTag())
    {
        case BACNET_APPLICATION_TAG_NULL:
            return "null";
        case BACNET_APPLICATION_TAG_BOOLEAN:
            return value.getBool() ? "true" : "false";
        case BACNET_APPLICATION_TAG_UNSIGNED_INTEGER:
        case BACNET_APPLICATION_TAG_ENUMERATED:
            return std::to_string(value.getUInt64());
        case BACNET_APPLICATION_TAG_SIGNED_INTEGER:
            return std::to_string(value.getInt());
        case BACNET_APPLICATION_TAG_REAL:
        case BACNET_APPLICATION_TAG_DOUBLE:
            return number(value.getDouble());
        default:
            return EventText::jsonString(value.getString());
    }
}

std::string PointMessages::statusFlagsJson(const ValueContainer& flags)
{
    Orvik::BACnet::DataType::BitString bits;
    flags.getBitString(bits);
    std::string text = "{";
    for (std::size_t bit = 0; bit < 4; ++bit)
    {
        const bool set = bit < bits.getBitCount() && bits.getBit(bit);
        text += std::string(bit == 0 ? "" : ",") + "\"" + STATUS_FLAG_NAMES[bit] +
                "\":" + (set ? "true" : "false");
    }
    return text + "}";
}

DataCheckedCommand::Write PointMessages::command(const DataObjectKey& object, const std::string& propertyName,
                                                 const std::string& payload)
{
    Poco::JSON::Parser parser;
    const Poco::Dynamic::Var document = parser.parse(payload);
    if (document.type() != typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("JSON object exepcted");
    }
    const Poco::JSON::Object::Ptr command = document.extract<Poco::JSON::Object::Ptr>();
    if (!command->has("value"))
    {
        throw Poco::JSON::JSONException("\"value\" missing");
    }
    const Poco::UInt32 priority = priorityOf(command->get("priority"));
    const Poco::Dynamic::Var value = command->get("value");
    if (value.isEmpty())
    {
        return CommandParser::relinquishOf(object, propertyName, priority);
    }
    if (value.type() == typeid(Poco::JSON::Object::Ptr))
    {
        throw Poco::JSON::JSONException("Value expected");
    }
    return CommandParser::writeOf(object, propertyName, CommandParser::valueText(value), priority);
}

Poco::UInt32 PointMessages::priorityOf(const Poco::Dynamic::Var& priority)
{
    if (priority.isEmpty())
    {
        return 16;
    }
    if (!priority.isInteger() || priority.convert<Poco::Int64>() < 1 ||
        priority.convert<Poco::Int64>() > 16 || priority.convert<Poco::Int64>() == RESERVED_PRIORITY)
    {
        throw Poco::JSON::JSONException("Unexpected Write Property Priority value");
    }
    return priority.convert<Poco::UInt32>();
}

std::string PointMessages::result(const std::string& error)
{
    return error.empty() ? R"({"result":"done"})"
                         : R"({"result":"error","error":)" + EventText::jsonString(error) + "}";
}

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
