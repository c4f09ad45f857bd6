#pragma once

#include <Poco/Exception.h>

namespace Orvik::BACnet::Codec
{

/// Thrown by every decoder of the wire codec for input it cannot read: truncated, malformed,
/// oversized or inconsistent octets. The message names what was wrong and where; code() is the
/// BACNET_ERROR_CODE that best describes it (invalid-data-encoding, invalid-tag,
/// datatype-not-supported, character-set-not-supported, ...), so that a value that cannot be read
/// can be reported as that property's error. Nothing is read outside the given octets before it is
/// thrown.
POCO_DECLARE_EXCEPTION(, DecodeError, Poco::DataFormatException)

}  // namespace Orvik::BACnet::Codec
