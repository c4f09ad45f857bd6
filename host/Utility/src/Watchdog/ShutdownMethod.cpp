#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

#include <Poco/Exception.h>

namespace Orvik::Utility::Watchdog
{

ShutdownMethod::ShutdownMethod(Type aType) : type(aType) {}

ShutdownMethod::Type ShutdownMethod::typeFromInt(Poco::Int32 number)
{
    if (number < DISABLED || number > DEAMON_SHUTDOWN)
    {
        throw Poco::DataFormatException("Unknown watchdog shutdown method type", std::to_string(number));
    }
    return static_cast<Type>(number);
}

std::string ShutdownMethod::typeName(Type aType)
{
    switch (aType)
    {
        case DISABLED:
            return "DISABLED";
        case SOFTWARE:
            return "SOFTWARE";
        case HARDWARE:
            return "HARDWARE";
        case HARD_RESET:
            return "HARD_RESET";
        case COLD_BOOT:
            return "COLD_BOOT";
        case DEAMON_SHUTDOWN:
            return "DEAMON_SHUTDOWN";
    }
    return "TYPE_" + std::to_string(static_cast<int>(aType));
}

}  // namespace Orvik::Utility::Watchdog
