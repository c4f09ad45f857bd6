#pragma once

#include "Orvik_BACnet/BACnetEnums.h"

namespace Orvik::BACnet
{

/// What an object type is, as far as the gateway's pieces need to know: the families of the standard
/// object types that carry a present value (analog, binary, multi-state; input, output, value) and the
/// trend logs. Pure functions of the type; a proprietary or unknown type belongs to no family.
class ObjectTypeTraits
{
public:
    /// An object that carries a present value of its own: the analog, binary and multi-state inputs,
    /// outputs and values, the accumulator and the pulse converter.
    static bool isPoint(BACNET_OBJECT_TYPE type);
    /// Analog, binary or multi-state output: commandable by its type.
    static bool isOutput(BACNET_OBJECT_TYPE type);
    /// Analog, binary or multi-state value object: commandable when the device makes it so.
    static bool isValueObject(BACNET_OBJECT_TYPE type);
    /// Analog input, output or value: a REAL present value with units.
    static bool isAnalog(BACNET_OBJECT_TYPE type);
    /// Binary input, output or value: an enumerated present value of 0 or 1.
    static bool isBinary(BACNET_OBJECT_TYPE type);
    /// Multi-state input, output or value: a present value numbered from 1 to its number of states.
    static bool isMultiState(BACNET_OBJECT_TYPE type);
    /// Trend log or trend log multiple: an object with a log buffer.
    static bool isTrendLog(BACNET_OBJECT_TYPE type);
};

}  // namespace Orvik::BACnet
