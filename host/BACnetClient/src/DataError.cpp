#include "Orvik_BACnetClient/DataError.h"

#include <Poco/NumberFormatter.h>

namespace Orvik::BACnet::Client
{

std::string DataError::getString() const
{
    if (!hasError())
        return "no error";
    return "error class " + Poco::NumberFormatter::format(static_cast<unsigned>(errorClass)) +
           ", error code " + Poco::NumberFormatter::format(static_cast<unsigned>(errorCode));
}

}  // namespace Orvik::BACnet::Client
