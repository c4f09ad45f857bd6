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

}  // namespace Orvik::Utility::Watchdog
