#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Logger.h>
#include <Poco/StreamChannel.h>

#include <sstream>
#include <string>
#include <vector>

#include "Orvik_Utility/LboLogSystem.h"

namespace Orvik::Test
{

/// Routes the host's catalogue log (LboLogSystem) to memory while it lives; the previous log is back at
/// its end.
class LogCapture
{
public:
    LogCapture()
        : _pChannel(new Poco::StreamChannel(_text)),
          _log(logger()),
          _pPreviousLog(Utility::LboLogSystem::pLogger)
    {
        Utility::LboLogSystem::pLogger = &_log;
    }
    ~LogCapture()
    {
        Utility::LboLogSystem::pLogger = _pPreviousLog;
        _log.getLogger().setChannel(nullptr);
    }

    /// The logged lines of message `code` ("[<code>] <text>"); all lines for a negative code.
    std::vector<std::string> linesOf(int code) const
    {
        const std::string prefix = code < 0 ? "" : "[" + std::to_string(code) + "]";
        std::vector<std::string> result;
        std::istringstream text(_text.str());
        for (std::string line; std::getline(text, line);)
        {
            if (line.rfind(prefix, 0) == 0)
                result.push_back(line);
        }
        return result;
    }

private:
    Poco::Logger& logger()
    {
        Poco::Logger& logger = Poco::Logger::get("orvik.test.apps");
        logger.setChannel(Poco::Channel::Ptr(_pChannel));
        logger.setLevel(Poco::Message::PRIO_TRACE);
        return logger;
    }

    std::ostringstream _text;
    Poco::AutoPtr<Poco::StreamChannel> _pChannel;
    Utility::LboLogSystem _log;
    Utility::LboLogSystem* _pPreviousLog;
};

}  // namespace Orvik::Test
