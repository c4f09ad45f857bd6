#ifndef ORVIK_TESTS_APPS_LOGCAPTURE_H
#define ORVIK_TESTS_APPS_LOGCAPTURE_H

#include <Poco/AutoPtr.h>
#include <Poco/StreamChannel.h>

#include <sstream>
#include <string>
#include <vector>

#include "Orvik_Utility/LboLogSystem.h"

/// Routes the host's catalogue log to memory while it lives.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();

    /// The logged lines of message `code` ("[<code>] <text>"); all lines for a negative code.
    std::vector<std::string> linesOf(int code) const;

private:
    std::ostringstream _text;
    Poco::AutoPtr<Poco::StreamChannel> _pChannel;
    Orvik::Utility::LboLogSystem _log;
    Orvik::Utility::LboLogSystem* _pPreviousLog;
};

#endif
