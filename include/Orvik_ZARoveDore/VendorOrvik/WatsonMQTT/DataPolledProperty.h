#pragma once

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// One value of an object that cannot report changes: the bridge reads it every
/// `pollFrequencySeconds` and publishes it like a change of value.
class DataPolledProperty
{
public:
    DataPolledProperty() = default;
    DataPolledProperty(Poco::UInt32 aPollFrequencySeconds,
                       const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& aBacnet,
                       const DataWatsonKey& aWatson)
        : pollFrequencySeconds(aPollFrequencySeconds), bacnet(aBacnet), watson(aWatson)
    {
    }

    Poco::UInt32 pollFrequencySeconds = 0;
    /// Object, property, no array index, and the device object of the device that holds it.
    Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference bacnet;
    DataWatsonKey watson;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
