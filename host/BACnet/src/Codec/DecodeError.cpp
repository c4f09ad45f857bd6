#include "Orvik_BACnet/Codec/DecodeError.h"

#include <typeinfo>

namespace Orvik::BACnet::Codec
{

POCO_IMPLEMENT_EXCEPTION(DecodeError, Poco::DataFormatException, "BACnet decode error")

}  // namespace Orvik::BACnet::Codec
