#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataCheckedCommand.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

#include <Poco/Dynamic/Var.h>
#include <Poco/JSON/Object.h>
#include <Poco/Types.h>

#include <functional>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// Checks a cloud command (its name, the device it was sent to and its JSON payload) and turns it into
/// what the bridge carries out. Sends and prints nothing.
///
/// "wp" writes with priority 16, "wp<hex digit>" with the digit + 1 (5 is refused): every member
/// "<object name>_<property name>" of the payload's object "d" names a commandable object of the
/// device and one of its properties; its value (no object; a list as its one-line JSON text) must fit
/// the property's datatype. "bacnet-ws" takes "client-id" and the object "ws" ("method", "path",
/// "payload") out of "d"; the method must be an HTTP token, the path visible ASCII, a payload a JSON
/// object, and the client id must fit the gateway's reply event name. Command names are compared in
/// lower case; any other name is refused with "Invalid Command type: <name>".
///
/// A refusal is the message of the error, with the bridge's fixed texts (for example "Unexpected Write
/// Property Priority value", "Unknown object reference: "<type>\t<id>\t<name>""); texts taken from the
/// command are quoted as JSON strings where they could forge console lines.
class CommandParser
{
public:
    /// Finds the commandable object with the given names; false when there is none.
    using FindCommandable =
        std::function<bool(const DataWatsonKey& watson, Orvik::BACnet::Client::DataObjectKey& object)>;

    /// `gatewayType` and `gatewayId` name the gateway, whose event carries BACnet/WS replies.
    CommandParser(const std::string& gatewayType, const std::string& gatewayId,
                  FindCommandable findCommandable);

    DataCheckedCommand parse(const std::string& commandName, const DataWatsonKey& device,
                             const std::string& payload) const;

    /// The write of `text` (a value's stored form) to the property named `propertyName` of `object`;
    /// throws Poco::JSON::JSONException with the refusal when the name or the value does not fit.
    static DataCheckedCommand::Write writeOf(const Orvik::BACnet::Client::DataObjectKey& object,
                                             const std::string& propertyName, const std::string& text,
                                             Poco::UInt32 priority);
    /// The write of NULL to the property (relinquishes the command at `priority`).
    static DataCheckedCommand::Write relinquishOf(const Orvik::BACnet::Client::DataObjectKey& object,
                                                  const std::string& propertyName, Poco::UInt32 priority);
    /// A command's JSON value as the text of a stored value (a list on one line).
    static std::string valueText(const Poco::Dynamic::Var& value);

private:
    void parseWrite(const std::string& name, const DataWatsonKey& device, const std::string& payload,
                    DataCheckedCommand& command) const;
    DataCheckedCommand::Write checkMember(const DataWatsonKey& device, const std::string& name,
                                          const Poco::Dynamic::Var& value, Poco::UInt32 priority) const;
    void parseBACnetWs(const std::string& payload, DataCheckedCommand& command) const;
    static Poco::UInt32 writePriority(const std::string& name);
    static DataCheckedCommand::Write targetOf(const Orvik::BACnet::Client::DataObjectKey& object,
                                              const std::string& propertyName, Poco::UInt32 priority);
    static Poco::JSON::Object::Ptr commandData(const std::string& payload);

    std::string _gatewayType;
    std::string _gatewayId;
    FindCommandable _findCommandable;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
