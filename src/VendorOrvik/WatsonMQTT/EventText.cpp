#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Parser.h>
#include <Poco/LocalDateTime.h>
#include <Poco/UTF8String.h>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

const std::string EventText::_COV_EVENT = "COV";
const std::string EventText::_FORMAT = "json";
const std::string EventText::_BACNET_WS = "bacnet-ws";

std::string EventText::jsonString(const std::string& text)
{
    return "\"" + Poco::UTF8::escape(text, true) + "\"";
}

std::string EventText::values(const std::string& objectName, const std::vector<NamedValue>& namedValues)
{
    std::string text = "{\"d\":{";
    for (std::size_t i = 0; i < namedValues.size(); ++i)
    {
        if (i > 0)
        {
            text += ",";
        }
        text += jsonString(objectName + "_" + namedValues[i].first);
        text += ":";
        text += jsonString(namedValues[i].second);
    }
    text += "}}";
    return text;
}

std::string EventText::bacnetWsAnswer(const std::string& body)
{
    return isJsonObjectOrString(body) ? body : jsonString(body);
}

std::string EventText::bacnetWsReply(const std::string& answer)
{
    return "{\"d\":{\"ws\":" + answer + "}}";
}

std::string EventText::bacnetWsFailure(const std::string& message)
{
    return "{\"d\":{\"error\":" + jsonString(message) + "}}";
}

std::string EventText::isoTime(const Poco::Timestamp& time)
{
    return Poco::DateTimeFormatter::format(Poco::LocalDateTime(time), "%Y-%m-%dT%H:%M:%S.%i%z");
}

std::string EventText::replayed(const std::string& jsonObject, const std::string& time)
{
    const std::string members = "\"replayed\":true" + (time.empty() ? "" : ",\"time\":\"" + time + "\"");
    return "{" + members + (jsonObject.size() > 2 ? "," : "") + jsonObject.substr(1);
}

bool EventText::isJsonObjectOrString(const std::string& body)
{
    if (body.empty() || (body[0] != '{' && body[0] != '"'))
    {
        return false;
    }
    // Embedded as it is only when it parses completely: a broken body would break the whole event.
    // Wrapped in an array, because the parser takes a string only as part of a document.
    try
    {
        Poco::JSON::Parser parser;
        const Poco::Dynamic::Var document = parser.parse("[" + body + "]");
        return document.extract<Poco::JSON::Array::Ptr>()->size() == 1;
    }
    catch (const Poco::Exception&)
    {
        return false;
    }
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
