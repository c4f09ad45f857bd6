#include "SimulatedDeviceObject.h"

#include "Orvik_BACnet/TimeZoneState.h"

namespace Orvik::BACnet::Device
{

SimulatedDeviceObject::SimulatedDeviceObject(const DataType::ObjectIdentifier& identifier,
                                             const std::string& name,
                                             const std::vector<std::unique_ptr<SimulatedObject>>& objects)
    : SimulatedObject(identifier, name), _objects(objects)
{
    addDynamicProperty(PROP_OBJECT_LIST);
    addDynamicProperty(PROP_LOCAL_DATE);
    addDynamicProperty(PROP_LOCAL_TIME);
    addDynamicProperty(PROP_UTC_OFFSET);
    addDynamicProperty(PROP_DAYLIGHT_SAVINGS_STATUS);
}

Codec::ServiceError SimulatedDeviceObject::readDynamic(BACNET_PROPERTY_ID property,
                                                       const Poco::Timestamp& now, ValueContainer& out) const
{
    const DataType::BACnetDateTime local(now);
    switch (property)
    {
        case PROP_OBJECT_LIST:
            out = objectList();
            return Codec::ServiceError();
        case PROP_LOCAL_DATE:
            out.setDate(local.date);
            return Codec::ServiceError();
        case PROP_LOCAL_TIME:
            out.setTime(local.time);
            return Codec::ServiceError();
        case PROP_UTC_OFFSET:
            out.setInt(TimeZoneState::at(now).utcOffset);
            return Codec::ServiceError();
        case PROP_DAYLIGHT_SAVINGS_STATUS:
            out.setBool(TimeZoneState::at(now).daylightSaving);
            return Codec::ServiceError();
        default:
            return SimulatedObject::readDynamic(property, now, out);
    }
}

ValueContainer SimulatedDeviceObject::objectList() const
{
    std::vector<DataType::ObjectIdentifier> identifiers;
    identifiers.reserve(_objects.size());
    for (const auto& pObject : _objects)
        identifiers.push_back(pObject->getIdentifier());
    ValueContainer list;
    list.setValues(identifiers, BACNET_DTS_ARRAY);
    return list;
}

}  // namespace Orvik::BACnet::Device
