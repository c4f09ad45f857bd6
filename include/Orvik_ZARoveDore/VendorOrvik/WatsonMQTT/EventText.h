#pragma once

#include <Poco/Timestamp.h>

#include <string>
#include <utility>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The JSON texts of the bridge's events. Every text is valid JSON: names and values are written as
/// JSON strings with quotes, backslashes and control characters escaped, characters outside ASCII as
/// \u escapes, and bytes that are not UTF-8 as the \u escape of their byte value.
class EventText
{
public:
    /// One property of an object and its value text.
    using NamedValue = std::pair<std::string, std::string>;

    /// The event of changed and polled values ("COV"), the format of every event and command
    /// ("json"), and the command that forwards a BACnet/WS request, also the start of its reply
    /// event's name ("bacnet-ws").
    static const std::string _COV_EVENT;
    static const std::string _FORMAT;
    static const std::string _BACNET_WS;

    /// A text as a JSON string, quotes included.
    static std::string jsonString(const std::string& text);

    /// {"d":{"<objectName>_<property>":"<value>",...}}: the values of one object, in the given order
    /// (the form of "COV" events and of polled values).
    static std::string values(const std::string& objectName, const std::vector<NamedValue>& namedValues);

    /// The "ws" member of a BACnet/WS reply for a web service body: a body that is a JSON object or a
    /// JSON string is taken as it is; an empty body is the empty string ""; any other body (plain
    /// text, a number, an array, broken JSON) becomes a JSON string of its text.
    static std::string bacnetWsAnswer(const std::string& body);

    /// {"d":{"ws":<answer>}}, `answer` being a result of bacnetWsAnswer().
    static std::string bacnetWsReply(const std::string& answer);

    /// {"d":{"error":"<message>"}}: the reply to a BACnet/WS request whose HTTP exchange failed.
    static std::string bacnetWsFailure(const std::string& message);

    /// The local time in ISO 8601 with milliseconds and the offset ("2026-03-05T14:03:07.120+01:00").
    static std::string isoTime(const Poco::Timestamp& time);
    /// A JSON object sent again after an outage: "replayed":true first, then "time" when `time` is
    /// not empty (an isoTime()), then the object's members.
    static std::string replayed(const std::string& jsonObject, const std::string& time);

private:
    static bool isJsonObjectOrString(const std::string& body);
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
