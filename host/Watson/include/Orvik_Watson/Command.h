#pragma once

#include <string>

namespace Watson_IOTP
{

/// One command received from the platform: the addressed device, the command's name,
/// the format named in its topic and the payload as it arrived (any bytes).
class Command
{
public:
    Command(const std::string& deviceType, const std::string& deviceId, const std::string& commandName,
            const std::string& format, const std::string& payload);

    std::string getDeviceType() const { return _deviceType; }
    std::string getDeviceId() const { return _deviceId; }
    std::string getCommandName() const { return _commandName; }
    std::string getFormat() const { return _format; }
    std::string getPayload() const { return _payload; }

private:
    std::string _deviceType;
    std::string _deviceId;
    std::string _commandName;
    std::string _format;
    std::string _payload;
};

}  // namespace Watson_IOTP
