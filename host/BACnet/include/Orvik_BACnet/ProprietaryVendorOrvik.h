#pragma once

#include <cstdint>

namespace Orvik::BACnet
{

/// Values of the vendor's trend log property PROP_PROPRIETARY_RESET_ADJUST_VALUE (512).
enum BACNET_PROPERTY_RESET_ADJUST_VALUE : std::uint32_t
{
    RESET_ADJUST_VALUE_NO_RESET = 0,
    RESET_ADJUST_VALUE_RESET_NO_SCALE = 1,
    RESET_ADJUST_VALUE_RESET_SCALE = 2,
    MAX_RESET_ADJUST_VALUE = 3,  ///< not read
};

}  // namespace Orvik::BACnet
