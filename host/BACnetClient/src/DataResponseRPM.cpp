#include "Orvik_BACnetClient/DataResponseRPM.h"

namespace Orvik::BACnet::Client
{

DataResponseRPM::Value::Value() = default;

DataResponseRPM::Value::Value(const DataPropertyRef& aPropertyRef, const ValueContainer& aValue)
    : propertyRef(aPropertyRef), value(aValue)
{
}

DataResponseRPM::Value::Value(const DataPropertyRef& aPropertyRef, const DataError& anError)
    : propertyRef(aPropertyRef), error(anError)
{
}

bool DataResponseRPM::Value::hasError() const
{
    return error.hasError();
}

DataResponseRPM::DataResponseRPM(const DataType::ObjectIdentifier& anObjectIdentifier)
    : objectIdentifier(anObjectIdentifier)
{
}

}  // namespace Orvik::BACnet::Client
