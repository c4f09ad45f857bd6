#include "LogCapture.h"

#include <Poco/Logger.h>

namespace
{

Poco::Logger& captureLogger(const Poco::AutoPtr<Poco::StreamChannel>& pChannel)
{
    Poco::Logger& logger = Poco::Logger::get("orvik.test.apps");
    logger.setChannel(Poco::Channel::Ptr(pChannel));
    logger.setLevel(Poco::Message::PRIO_TRACE);
    return logger;
}

}  // namespace

namespace Orvik::Test
{

LogCapture::LogCapture()
    : _pChannel(new Poco::StreamChannel(_text)),
      _log(captureLogger(_pChannel)),
      _pPreviousLog(Orvik::Utility::LboLogSystem::pLogger)
{
    Orvik::Utility::LboLogSystem::pLogger = &_log;
}

LogCapture::~LogCapture()
{
    Orvik::Utility::LboLogSystem::pLogger = _pPreviousLog;
    _log.getLogger().setChannel(nullptr);
}

std::vector<std::string> LogCapture::linesOf(int code) const
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

}  // namespace Orvik::Test
