#pragma once

#include "Orvik_Watson/Command.h"

#include <cstddef>
#include <memory>
#include <string>

namespace Watson_IOTP
{

/// The platform's MQTT topic names for a gateway and its attached devices:
/// - events:   iot-2/type/<typeId>/id/<deviceId>/evt/<eventId>/fmt/<format>
/// - commands: iot-2/type/<typeId>/id/<deviceId>/cmd/<commandId>/fmt/<format>
///
/// Every name that becomes one level of a topic must be a valid level (`isValidLevel`):
/// not empty, valid UTF-8, free of "/" and of the wildcards "+" and "#", and free of the
/// characters a broker refuses in any MQTT text: control characters (NUL, TAB, CR, LF, DEL
/// and the C1 range U+0080 to U+009F), UTF-16 surrogates and the non-characters (U+FDD0 to
/// U+FDEF, U+FFFE, U+FFFF and their like in every plane). A whole topic is at most
/// MAX_TOPIC_BYTES long, the most an MQTT length field holds. A broker answers a topic that
/// breaks these rules by dropping the connection, so the builders refuse such names with
/// Poco::InvalidArgumentException ("Invalid topic level", "Topic too long") before anything
/// is sent.
class Topics
{
public:
    static constexpr std::size_t MAX_TOPIC_BYTES = 65535;

    static bool isValidLevel(const std::string& level);
    /// True when event() makes a topic of these names.
    static bool isValidEvent(const std::string& typeId, const std::string& deviceId,
                             const std::string& eventId, const std::string& format);

    static std::string event(const std::string& typeId, const std::string& deviceId,
                             const std::string& eventId, const std::string& format);
    /// The subscription filter for every command of one device, in every format.
    static std::string commands(const std::string& typeId, const std::string& deviceId);

    /// The command carried by a message on a command topic; null when the topic does not
    /// have the command form.
    static std::unique_ptr<Command> parseCommand(const std::string& topic, const std::string& payload);

private:
    static bool isRefusedCharacter(int codePoint);
    static std::string eventTopic(const std::string& typeId, const std::string& deviceId,
                                  const std::string& eventId, const std::string& format);
    static const std::string& checkedLevel(const std::string& level);
    static std::string checkedLength(const std::string& topic);
};

}  // namespace Watson_IOTP
