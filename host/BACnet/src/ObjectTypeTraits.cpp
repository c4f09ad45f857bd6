#include "Orvik_BACnet/ObjectTypeTraits.h"

namespace Orvik::BACnet
{

bool ObjectTypeTraits::isPoint(BACNET_OBJECT_TYPE type)
{
    return isAnalog(type) || isBinary(type) || isMultiState(type) || type == OBJECT_ACCUMULATOR ||
           type == OBJECT_PULSE_CONVERTER;
}

bool ObjectTypeTraits::isOutput(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_ANALOG_OUTPUT || type == OBJECT_BINARY_OUTPUT || type == OBJECT_MULTI_STATE_OUTPUT;
}

bool ObjectTypeTraits::isValueObject(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_ANALOG_VALUE || type == OBJECT_BINARY_VALUE || type == OBJECT_MULTI_STATE_VALUE;
}

bool ObjectTypeTraits::isAnalog(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_ANALOG_INPUT || type == OBJECT_ANALOG_OUTPUT || type == OBJECT_ANALOG_VALUE;
}

bool ObjectTypeTraits::isBinary(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_BINARY_INPUT || type == OBJECT_BINARY_OUTPUT || type == OBJECT_BINARY_VALUE;
}

bool ObjectTypeTraits::isMultiState(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_MULTI_STATE_INPUT || type == OBJECT_MULTI_STATE_OUTPUT ||
           type == OBJECT_MULTI_STATE_VALUE;
}

bool ObjectTypeTraits::isTrendLog(BACNET_OBJECT_TYPE type)
{
    return type == OBJECT_TREND_LOG || type == OBJECT_TREND_LOG_MULTIPLE;
}

}  // namespace Orvik::BACnet
