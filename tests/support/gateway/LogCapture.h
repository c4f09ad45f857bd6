#pragma once

#include <Poco/AutoPtr.h>
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

}  // namespace Orvik::Test
