#include "Orvik_BACnet/Codec/DecodeError.h"

#include <typeinfo>

namespace Orvik
{
namespace BACnet
{
namespace Codec
{

POCO_IMPLEMENT_EXCEPTION(DecodeError, Poco::DataFormatException, "BACnet decode error")

}  // namespace Codec
}  // namespace BACnet
}  // namespace Orvik
