#include "Orvik_Watson/Command.h"

namespace Watson_IOTP
{

Command::Command(const std::string& deviceType, const std::string& deviceId, const std::string& commandName,
                 const std::string& format, const std::string& payload)
    : _deviceType(deviceType),
      _deviceId(deviceId),
      _commandName(commandName),
      _format(format),
      _payload(payload)
{
}

}  // namespace Watson_IOTP
