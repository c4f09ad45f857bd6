#pragma once

#include "Orvik_BACnet/ProtocolText.h"

namespace Orvik::Utility
{

/// The host's name tables as the utility namespace offers them (BACnetText::propertyIndex, ...): the
/// same class as Orvik::BACnet::ProtocolText.
using BACnetText = Orvik::BACnet::ProtocolText;

}  // namespace Orvik::Utility
