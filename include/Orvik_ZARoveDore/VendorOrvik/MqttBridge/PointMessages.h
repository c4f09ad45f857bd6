#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataCheckedCommand.h"

#include <Poco/Dynamic/Var.h>
#include <Poco/Timestamp.h>

#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// The JSON payloads of the bridge's topics (PointTopics), all valid JSON.
///
/// A value: {"value": <v>, "units": "<units name>" | null, "statusFlags": {"inAlarm": b, "fault": b,
/// "overridden": b, "outOfService": b} | null, "time": "<ISO 8601 local time with offset>"}. Numbers
/// (also enumerations) are JSON numbers (not finite: null), booleans JSON booleans, NULL null, any
/// other value the string of its display form.
///
/// A command on .../set: {"value": <v>, "priority": 1..16}; the priority may be left out (16), 6 is
/// refused as for the cloud bridge's commands; a null value relinquishes the priority.
/// Its result on .../set/result: {"result": "done"} or {"result": "error", "error": "<why>"}.
class PointMessages
{
public:
    static std::string value(const ValueContainer& value, const std::string& units,
                             const ValueContainer* pStatusFlags, const Poco::Timestamp& time);

    /// The write a command asks for; throws Poco::JSON::JSONException (or the parser's
    /// Poco::Exception) with the refusal.
    static WatsonMQTT::DataCheckedCommand::Write command(const Orvik::BACnet::Client::DataObjectKey& object,
                                                         const std::string& propertyName,
                                                         const std::string& payload);

    /// The result of a command: done when `error` is empty.
    static std::string result(const std::string& error);

private:
    static std::string valueJson(const ValueContainer& value);
    static std::string statusFlagsJson(const ValueContainer& flags);
    static Poco::UInt32 priorityOf(const Poco::Dynamic::Var& priority);
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
