#pragma once

namespace Orvik::Utility::Hardware
{

/// The controller board's GPIO lines as the watchdog configuration names them.
/// BinaryValue is the state of a line; the numbers are those stored in the
/// configuration database.
struct TeskGPIO
{
    enum BinaryValue
    {
        BV_ERROR = 0,
        BV_ACTIVE = 1,
        BV_INACTIVE = 2
    };
};

}  // namespace Orvik::Utility::Hardware
