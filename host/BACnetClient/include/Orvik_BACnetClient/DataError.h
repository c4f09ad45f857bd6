#pragma once

#include "Orvik_BACnet/Codec/ServiceError.h"

namespace Orvik::BACnet::Client
{

/// A BACnet error: class and code (the Error PDU's, also used for the client's own failures such as a
/// time-out, and for Reject and Abort reasons). The same record as the wire codec's and the device
/// model's, so an error passes from a device to an app unchanged. A default DataError holds no error:
/// class and code MAX_BACNET_ERROR_CLASS / MAX_BACNET_ERROR_CODE (65535); any class of 65535 or above
/// means "no error".
using DataError = Codec::ServiceError;

}  // namespace Orvik::BACnet::Client

namespace Orvik::BACnet
{
/// The apps and the host's print helpers name the error record without the client namespace.
using Client::DataError;
}  // namespace Orvik::BACnet
