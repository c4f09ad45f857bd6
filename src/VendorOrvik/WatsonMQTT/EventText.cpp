#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

#include <Poco/DateTimeFormatter.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Parser.h>
#include <Poco/UTF8String.h>

#include <cstdio>
#include <ctime>

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
    // One localtime_r per value: the bridges format the time of every value they publish, and
    // Poco::LocalDateTime asks the C library for the zone several times (two thirds of a value's texts).
    const Poco::Timestamp::TimeVal micros = time.epochMicroseconds();
    const Poco::Timestamp::TimeVal wholeSeconds = micros / 1000000 - (micros % 1000000 < 0 ? 1 : 0);
    const auto milliseconds = static_cast<int>((micros - wholeSeconds * 1000000) / 1000);
    const auto seconds = static_cast<std::time_t>(wholeSeconds);
    std::tm fields{};
    if (localtime_r(&seconds, &fields) == nullptr)
        return Poco::DateTimeFormatter::format(time, "%Y-%m-%dT%H:%M:%S.%i%z");
    const long offsetMinutes = fields.tm_gmtoff / 60;
    const long offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[64];
    std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min,
                  fields.tm_sec, milliseconds, offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
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
