#include "Orvik_BACnetClient/DataPropertyKey.h"

#include <Poco/Exception.h>
#include <Poco/NumberFormatter.h>

namespace Orvik::BACnet::Client
{

namespace
{

const std::size_t KEY_DEVICE = 0;
const std::size_t KEY_OBJECT_TYPE = 1;
const std::size_t KEY_OBJECT_INSTANCE = 2;
const std::size_t KEY_PROPERTY = 3;
const std::size_t KEY_ARRAY_INDEX = 4;

Poco::UInt32 parameterAt(const std::vector<ValueContainer>& parameters, std::size_t position,
                         Poco::UInt32 maximum)
{
    const Poco::UInt32 value = parameters[position].getUInt();
    if (value > maximum)
    {
        throw Poco::InvalidArgumentException("Property key parameter " +
                                             Poco::NumberFormatter::format(position) +
                                             " out of range: " + Poco::NumberFormatter::format(value));
    }
    return value;
}

DataObjectKey objectKeyOf(const std::vector<ValueContainer>& parameters, std::size_t first)
{
    if (parameters.size() < first + KEY_PROPERTY + 1)
    {
        throw Poco::InvalidArgumentException("Too few parameters for a property key: " +
                                             Poco::NumberFormatter::format(parameters.size()));
    }
    return DataObjectKey(
        parameterAt(parameters, first + KEY_DEVICE, DataType::ObjectIdentifier::_MAX_INSTANCE),
        DataType::ObjectIdentifier(
            parameterAt(parameters, first + KEY_OBJECT_TYPE, DataType::ObjectIdentifier::_MAX_TYPE),
            parameterAt(parameters, first + KEY_OBJECT_INSTANCE, DataType::ObjectIdentifier::_MAX_INSTANCE)));
}

DataPropertyRef propertyRefOf(const std::vector<ValueContainer>& parameters, std::size_t first)
{
    const auto property = static_cast<BACNET_PROPERTY_ID>(parameters[first + KEY_PROPERTY].getUInt());
    const std::size_t indexAt = first + KEY_ARRAY_INDEX;
    if (indexAt >= parameters.size() || parameters[indexAt].isNull())
        return DataPropertyRef(property);
    return DataPropertyRef(property, parameters[indexAt].getUInt());
}

}  // namespace

DataPropertyKey::DataPropertyKey(const DataObjectKey& objectKey, const DataPropertyRef& aPropertyRef)
    : DataObjectKey(objectKey), propertyRef(aPropertyRef)
{
}

DataPropertyKey::DataPropertyKey(const DataObjectKey& objectKey, BACNET_PROPERTY_ID propertyIdentifier,
                                 Poco::UInt32 arrayIndex)
    : DataObjectKey(objectKey), propertyRef(propertyIdentifier, arrayIndex)
{
}

DataPropertyKey::DataPropertyKey(Poco::UInt32 deviceInstance,
                                 const DataType::ObjectIdentifier& objectIdentifier,
                                 const DataPropertyRef& aPropertyRef)
    : DataObjectKey(deviceInstance, objectIdentifier), propertyRef(aPropertyRef)
{
}

DataPropertyKey::DataPropertyKey(const DataType::BACnetDeviceObjectPropertyReference& reference)
    : DataObjectKey(reference.getDeviceIdentifier().getInstance(), reference.getObjectIdentifier()),
      propertyRef(reference.getPropertyIdentifier(), reference.getArrayIndex())
{
}

DataPropertyKey::DataPropertyKey(const std::vector<ValueContainer>& parameters, std::size_t first)
    : DataObjectKey(objectKeyOf(parameters, first)), propertyRef(propertyRefOf(parameters, first))
{
}

}  // namespace Orvik::BACnet::Client
