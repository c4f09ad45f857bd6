#include "SimulatedObject.h"

#include "Orvik_BACnet/PropertyDatatypeTable.h"

#include <algorithm>

namespace Orvik::BACnet::Device
{

namespace
{

/// Properties that property-list leaves out (ASHRAE 135).
bool isOutsidePropertyList(BACNET_PROPERTY_ID property)
{
    return property == PROP_OBJECT_IDENTIFIER || property == PROP_OBJECT_NAME ||
           property == PROP_OBJECT_TYPE || property == PROP_PROPERTY_LIST;
}

bool isRequired(BACNET_OBJECT_TYPE objectType, BACNET_PROPERTY_ID property)
{
    const PropertyDatatype* pRow = PropertyDatatypeTable::find(objectType, property);
    return pRow != nullptr && pRow->required;
}

}  // namespace

SimulatedObject::SimulatedObject(const DataType::ObjectIdentifier& identifier, const std::string& name)
    : _identifier(identifier)
{
    ValueContainer value;
    value.setObjectIdentifier(identifier);
    setProperty(PROP_OBJECT_IDENTIFIER, value);
    value.setCharString(name);
    setProperty(PROP_OBJECT_NAME, value);
    value.setEnum(identifier.getObjectType());
    setProperty(PROP_OBJECT_TYPE, value);
    addDynamicProperty(PROP_PROPERTY_LIST);
}

SimulatedObject::~SimulatedObject() = default;

std::string SimulatedObject::getName() const
{
    return fixedValue(PROP_OBJECT_NAME)->getCharString();
}

void SimulatedObject::setProperty(BACNET_PROPERTY_ID property, const ValueContainer& value)
{
    for (Property& existing : _properties)
    {
        if (existing.id == property)
        {
            existing.value = value;
            existing.dynamic = false;
            return;
        }
    }
    _properties.push_back(Property{property, value, false});
}

void SimulatedObject::addDynamicProperty(BACNET_PROPERTY_ID property)
{
    if (find(property) == nullptr)
        _properties.push_back(Property{property, ValueContainer(), true});
}

bool SimulatedObject::hasProperty(BACNET_PROPERTY_ID property) const
{
    return find(property) != nullptr;
}

bool SimulatedObject::isComputed(BACNET_PROPERTY_ID property) const
{
    const Property* pProperty = find(property);
    return property == PROP_OBJECT_IDENTIFIER || property == PROP_OBJECT_TYPE ||
           (pProperty != nullptr && pProperty->dynamic);
}

std::vector<BACNET_PROPERTY_ID> SimulatedObject::listProperties(BACNET_PROPERTY_ID which) const
{
    std::vector<BACNET_PROPERTY_ID> list;
    for (const Property& property : _properties)
    {
        const bool required = isRequired(_identifier.getObjectType(), property.id) ||
                              property.id == PROP_OBJECT_IDENTIFIER || property.id == PROP_OBJECT_NAME ||
                              property.id == PROP_OBJECT_TYPE;
        if (which == PROP_ALL || (which == PROP_REQUIRED) == required)
            list.push_back(property.id);
    }
    return list;
}

Codec::ServiceError SimulatedObject::read(const Codec::PropertyReference& ref, const Poco::Timestamp& now,
                                          ValueContainer& out) const
{
    out.clear();
    if (!ref.hasArrayIndex())
        return readWhole(ref.propertyId, now, out);
    ValueContainer whole;
    const Codec::ServiceError error = readWhole(ref.propertyId, now, whole);
    if (error.hasError())
        return error;
    return readElement(whole, ref.arrayIndex, out);
}

Codec::ServiceError SimulatedObject::write(const Codec::PropertyReference& ref, Poco::UInt32,
                                           const ValueContainer& value)
{
    if (find(ref.propertyId) == nullptr)
        return propertyError(ERROR_CODE_UNKNOWN_PROPERTY);
    const bool isText = ref.propertyId == PROP_OBJECT_NAME || ref.propertyId == PROP_DESCRIPTION;
    if (!isText)
        return propertyError(ERROR_CODE_WRITE_ACCESS_DENIED);
    if (ref.hasArrayIndex())
        return propertyError(ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY);
    if (!holdsSingle(value, BACNET_DT_CHARACTER_STRING))
        return propertyError(ERROR_CODE_INVALID_DATA_TYPE);
    setProperty(ref.propertyId, value);
    return Codec::ServiceError();
}

std::vector<Codec::PropertyValue> SimulatedObject::covValues(BACNET_PROPERTY_ID, const Poco::Timestamp&) const
{
    return {};
}

float SimulatedObject::covIncrement() const
{
    return 0.0f;
}

void SimulatedObject::advance(const Poco::Timestamp&) {}

bool SimulatedObject::holdsSingle(const ValueContainer& value, BACnetDataType dataType)
{
    return value.getStructure() == BACNET_DTS_SINGLE_VALUE && value.size() == 1 &&
           value.at(0).getDataType() == dataType;
}

Codec::ServiceError SimulatedObject::propertyError(BACNET_ERROR_CODE code)
{
    return Codec::ServiceError(ERROR_CLASS_PROPERTY, code);
}

Codec::ServiceError SimulatedObject::readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp&,
                                                 ValueContainer& out) const
{
    if (property == PROP_PROPERTY_LIST)
    {
        out = propertyList();
        return Codec::ServiceError();
    }
    return propertyError(ERROR_CODE_UNKNOWN_PROPERTY);
}

const ValueContainer* SimulatedObject::fixedValue(BACNET_PROPERTY_ID property) const
{
    const Property* pProperty = find(property);
    return pProperty == nullptr || pProperty->dynamic ? nullptr : &pProperty->value;
}

const SimulatedObject::Property* SimulatedObject::find(BACNET_PROPERTY_ID property) const
{
    auto it = std::find_if(_properties.begin(), _properties.end(),
                           [property](const Property& p) { return p.id == property; });
    return it == _properties.end() ? nullptr : &*it;
}

Codec::ServiceError SimulatedObject::readWhole(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                               ValueContainer& out) const
{
    const Property* pProperty = find(property);
    if (pProperty == nullptr)
        return propertyError(ERROR_CODE_UNKNOWN_PROPERTY);
    if (pProperty->dynamic)
        return readDynamic(property, now, out);
    out = pProperty->value;
    return Codec::ServiceError();
}

ValueContainer SimulatedObject::propertyList() const
{
    ValueContainer list;
    list.setStructure(BACNET_DTS_ARRAY);
    for (const Property& property : _properties)
    {
        if (!isOutsidePropertyList(property.id))
            list.append(BACnetValue::makeEnumerated(property.id));
    }
    list.setDataType(BACNET_DT_ENUMERATED);
    return list;
}

Codec::ServiceError SimulatedObject::readElement(const ValueContainer& whole, Poco::UInt32 arrayIndex,
                                                 ValueContainer& out)
{
    if (whole.getStructure() != BACNET_DTS_ARRAY)
        return propertyError(ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY);
    if (arrayIndex == 0)
    {
        out.setUInt(whole.size());
        return Codec::ServiceError();
    }
    if (arrayIndex > whole.size())
        return propertyError(ERROR_CODE_INVALID_ARRAY_INDEX);
    out = ValueContainer(whole.at(arrayIndex - 1));
    return Codec::ServiceError();
}

}  // namespace Orvik::BACnet::Device
