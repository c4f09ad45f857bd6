#pragma once

#include <Poco/Dynamic/Var.h>
#include <Poco/Message.h>

#include <string>
#include <vector>

namespace Orvik::Utility
{

/// One entry for the host's numbered log catalogue: a message code and up to
/// three arguments.
///
/// The catalogue fixes, per code, the priority and a text with the placeholders
/// $1, $2 and $3 for the arguments. Codes of the catalogue:
///
///   13    error    "Exception caught in app: $1 (in $2, line $3)"
///   102   warning  "App thread still busy after the stop grace period: $1"
///   3040  error    "Writing an app parameter failed: $1 (in $2, line $3)"
///
/// A code outside the catalogue is still logged, never lost: as an error with the
/// text "Unknown message code <code>" followed by its arguments.
class Message2
{
public:
    static constexpr int _CODE_APP_EXCEPTION = 13;
    static constexpr int _CODE_APP_THREAD_BUSY = 102;
    static constexpr int _CODE_PARAMETER_WRITE_FAILED = 3040;

    explicit Message2(int code, const Poco::Dynamic::Var& arg1 = Poco::Dynamic::Var(),
                      const Poco::Dynamic::Var& arg2 = Poco::Dynamic::Var(),
                      const Poco::Dynamic::Var& arg3 = Poco::Dynamic::Var());

    int getCode() const { return _code; }
    /// The arguments given, without the empty trailing ones.
    const std::vector<Poco::Dynamic::Var>& getArguments() const { return _args; }
    bool isKnownCode() const;
    Poco::Message::Priority getPriority() const;
    /// The catalogue text with the arguments filled in. A placeholder without
    /// argument stays empty; an argument that does not convert to text is shown as "?".
    std::string getText() const;

private:
    int _code;
    std::vector<Poco::Dynamic::Var> _args;
};

}  // namespace Orvik::Utility
