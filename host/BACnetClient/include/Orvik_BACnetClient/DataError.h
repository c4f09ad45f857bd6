#pragma once

#include "Orvik_BACnet/BACnetEnums.h"

#include <string>

namespace Orvik::BACnet::Client
{

/// A BACnet error: class and code (ASHRAE 135 Error, also used for the client's own failures such as
/// a time-out). A default DataError holds no error: class and code MAX_BACNET_ERROR_CLASS /
/// MAX_BACNET_ERROR_CODE (65535); any class of 65535 or above means "no error".
class DataError
{
public:
    DataError() = default;
    DataError(BACNET_ERROR_CLASS anErrorClass, BACNET_ERROR_CODE anErrorCode)
        : errorClass(anErrorClass), errorCode(anErrorCode)
    {
    }

    /// True when a class below 65535 is set.
    bool hasError() const { return errorClass < MAX_BACNET_ERROR_CLASS; }

    /// "<class name>: <code name>", for example "property: unknown-property"; numbers stand for
    /// values without a standard name; "no error" for a DataError without error.
    std::string getString() const;

    bool operator==(const DataError& other) const
    {
        return errorClass == other.errorClass && errorCode == other.errorCode;
    }
    bool operator!=(const DataError& other) const { return !(*this == other); }

    BACNET_ERROR_CLASS errorClass = MAX_BACNET_ERROR_CLASS;
    BACNET_ERROR_CODE errorCode = MAX_BACNET_ERROR_CODE;
};

}  // namespace Orvik::BACnet::Client

namespace Orvik::BACnet
{
/// The apps and the host's print helpers name the error record without the client namespace.
using Client::DataError;
}  // namespace Orvik::BACnet
