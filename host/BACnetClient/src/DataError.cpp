#include "Orvik_BACnetClient/DataError.h"

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::BACnet::Client
{

std::string DataError::getString() const
{
    if (!hasError())
        return "no error";
    return ProtocolText::errorClassName(errorClass) + ": " + ProtocolText::errorCodeName(errorCode);
}

}  // namespace Orvik::BACnet::Client
