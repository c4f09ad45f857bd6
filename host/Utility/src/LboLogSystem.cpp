#include "Orvik_Utility/LboLogSystem.h"

namespace Orvik::Utility
{

const std::string LboLogSystem::EXCEPTION_UNKNOWN = "Exception of unknown type";
const std::string LboLogSystem::_DEFAULT_LOGGER_NAME = "Orvik";

namespace
{
LboLogSystem& defaultLogSystem()
{
    static LboLogSystem logSystem(Poco::Logger::get(LboLogSystem::_DEFAULT_LOGGER_NAME));
    return logSystem;
}
}  // namespace

LboLogSystem* LboLogSystem::pLogger = &defaultLogSystem();

LboLogSystem::LboLogSystem(Poco::Logger& logger) : _logger(logger) {}

void LboLogSystem::log(const Message2& message) const
{
    if (_logger.is(message.getPriority()))
    {
        _logger.log(Poco::Message(_logger.name(), format(message), message.getPriority()));
    }
}

std::string LboLogSystem::format(const Message2& message)
{
    return "[" + std::to_string(message.getCode()) + "] " + message.getText();
}

}  // namespace Orvik::Utility
