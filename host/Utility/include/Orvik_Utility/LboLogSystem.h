#pragma once

#include "Orvik_Utility/Message2.h"

#include <Poco/Logger.h>

#include <string>

namespace Orvik::Utility
{

/// The host's log system: writes catalogue messages (Message2) to a Poco logger.
///
/// Callers log through the process-wide instance: `LboLogSystem::pLogger->log(Message2(13, ...))`.
/// pLogger is never null: it starts as an instance on the Poco logger "Orvik";
/// a host that wants another logger sets pLogger to an instance of its own (before
/// any thread logs) and keeps that instance alive. The Poco logger decides where
/// the messages go (its channel) and which priorities pass (its level).
///
/// Each message becomes one Poco::Message with the catalogue's priority and the text
/// "[<code>] <catalogue text>". Poco's loggers are thread-safe, so any thread may log.
class LboLogSystem
{
public:
    /// Text for an exception whose type is not known (a catch (...) handler).
    static const std::string EXCEPTION_UNKNOWN;
    /// Name of the Poco logger of the default instance.
    static const std::string _DEFAULT_LOGGER_NAME;

    static LboLogSystem* pLogger;

    explicit LboLogSystem(Poco::Logger& logger);

    void log(const Message2& message) const;
    Poco::Logger& getLogger() const { return _logger; }

    /// "[<code>] <text>", the text a message is logged with.
    static std::string format(const Message2& message);

private:
    Poco::Logger& _logger;
};

}  // namespace Orvik::Utility
