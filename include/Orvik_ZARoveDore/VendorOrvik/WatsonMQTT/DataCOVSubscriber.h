#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// One value the bridge publishes from change-of-value notifications: the subscribed property
/// (present-value, or log-buffer for trend logs) and where it goes on the platform.
class DataCOVSubscriber
{
public:
    DataCOVSubscriber() = default;
    DataCOVSubscriber(BACNET_PROPERTY_ID aPropertyIdentifier, const DataWatsonKey& aWatson)
        : bacnetPropertyIdentifier(aPropertyIdentifier), watson(aWatson)
    {
    }

    BACNET_PROPERTY_ID bacnetPropertyIdentifier = PROP_PRESENT_VALUE;
    DataWatsonKey watson;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
