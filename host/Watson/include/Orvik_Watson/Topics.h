#pragma once

#include "Orvik_Watson/Command.h"

#include <memory>
#include <string>

namespace Watson_IOTP
{

/// The platform's MQTT topic names for a gateway and its attached devices:
/// - events:   iot-2/type/<typeId>/id/<deviceId>/evt/<eventId>/fmt/<format>
/// - commands: iot-2/type/<typeId>/id/<deviceId>/cmd/<commandId>/fmt/<format>
///
/// Every name that becomes one level of a topic must be a valid level (`isValidLevel`):
/// not empty, valid UTF-8, and free of "/", "+", "#" and NUL. A broker answers a topic
/// that breaks these rules by dropping the connection, so the builders refuse such names
/// with Poco::InvalidArgumentException ("Invalid topic level") before anything is sent.
class Topics
{
public:
    static bool isValidLevel(const std::string& level);

    static std::string event(const std::string& typeId, const std::string& deviceId,
                             const std::string& eventId, const std::string& format);
    /// The subscription filter for every command of one device, in every format.
    static std::string commands(const std::string& typeId, const std::string& deviceId);

    /// The command carried by a message on a command topic; null when the topic does not
    /// have the command form.
    static std::unique_ptr<Command> parseCommand(const std::string& topic, const std::string& payload);

private:
    static const std::string& checkedLevel(const std::string& level);
};

}  // namespace Watson_IOTP
