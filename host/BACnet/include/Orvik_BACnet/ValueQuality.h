#pragma once

#include <cstdint>

namespace Orvik::BACnet
{

/// Quality of a value obtained from a value source.
enum VALUE_QUALITY : std::uint32_t
{
    VALUE_QUALITY_GOOD = 0,       ///< current and valid
    VALUE_QUALITY_UNCERTAIN = 1,  ///< valid but possibly out of date
    VALUE_QUALITY_BAD = 2,        ///< not available
};

}  // namespace Orvik::BACnet
