#pragma once

#include "SimulatedObject.h"

#include <memory>

namespace Orvik::BACnet::Device
{

/// The device object of a simulated device. object-list lists the device's objects (the device object
/// first); local-date, local-time, utc-offset and daylight-savings-status follow the gateway's clock
/// and time zone. The fixed properties (vendor, model, max APDU, services supported, ...) are set by
/// the device.
class SimulatedDeviceObject : public SimulatedObject
{
public:
    /// `objects` is the device's object list; it must outlive this object.
    SimulatedDeviceObject(const DataType::ObjectIdentifier& identifier, const std::string& name,
                          const std::vector<std::unique_ptr<SimulatedObject>>& objects);

protected:
    Codec::ServiceError readDynamic(BACNET_PROPERTY_ID property, const Poco::Timestamp& now,
                                    ValueContainer& out) const override;

private:
    ValueContainer objectList() const;

    const std::vector<std::unique_ptr<SimulatedObject>>& _objects;
};

}  // namespace Orvik::BACnet::Device
