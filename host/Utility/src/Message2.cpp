#include "Orvik_Utility/Message2.h"

#include <map>

namespace Orvik::Utility
{

namespace
{
struct CatalogueEntry
{
    Poco::Message::Priority priority;
    const char* text;
};

const std::map<int, CatalogueEntry>& catalogue()
{
    static const std::map<int, CatalogueEntry> entries = {
        {Message2::_CODE_APP_EXCEPTION,
         {Poco::Message::PRIO_ERROR, "Exception caught in app: $1 (in $2, line $3)"}},
        {Message2::_CODE_APP_THREAD_BUSY,
         {Poco::Message::PRIO_WARNING, "App thread still busy after the stop grace period: $1"}},
        {Message2::_CODE_PARAMETER_WRITE_FAILED,
         {Poco::Message::PRIO_ERROR, "Writing an app parameter failed: $1 (in $2, line $3)"}},
    };
    return entries;
}

std::string argumentText(const Poco::Dynamic::Var& arg)
{
    if (arg.isEmpty())
    {
        return std::string();
    }
    try
    {
        return arg.convert<std::string>();
    }
    catch (const Poco::Exception&)
    {
        return "?";
    }
}

std::string unknownCodeText(int code, const std::vector<Poco::Dynamic::Var>& args)
{
    std::string text = "Unknown message code " + std::to_string(code);
    for (const auto& arg : args)
    {
        text += " | " + argumentText(arg);
    }
    return text;
}
}  // namespace

Message2::Message2(int code, const Poco::Dynamic::Var& arg1, const Poco::Dynamic::Var& arg2,
                   const Poco::Dynamic::Var& arg3)
    : _code(code), _args{arg1, arg2, arg3}
{
    while (!_args.empty() && _args.back().isEmpty())
    {
        _args.pop_back();
    }
}

bool Message2::isKnownCode() const
{
    return catalogue().count(_code) > 0;
}

Poco::Message::Priority Message2::getPriority() const
{
    const auto it = catalogue().find(_code);
    return it == catalogue().end() ? Poco::Message::PRIO_ERROR : it->second.priority;
}

std::string Message2::getText() const
{
    const auto it = catalogue().find(_code);
    if (it == catalogue().end())
    {
        return unknownCodeText(_code, _args);
    }
    std::string text;
    for (const char* p = it->second.text; *p != '\0'; ++p)
    {
        if (p[0] == '$' && p[1] >= '1' && p[1] <= '3')
        {
            const auto index = static_cast<std::size_t>(p[1] - '1');
            text += index < _args.size() ? argumentText(_args[index]) : std::string();
            ++p;
        }
        else
        {
            text += *p;
        }
    }
    return text;
}

}  // namespace Orvik::Utility
