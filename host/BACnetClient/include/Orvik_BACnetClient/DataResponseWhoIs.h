#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::Client
{

/// One I-Am: a device that answered a Who-Is.
class DataResponseWhoIs
{
public:
    DataResponseWhoIs() = default;
    DataResponseWhoIs(Poco::UInt32 aDeviceInstance, Poco::UInt16 aVendorID,
                      const DataType::BACnetAddress& anAddress, Poco::UInt32 aMaxApdu,
                      BACNET_SEGMENTATION aSegmentation);

    Poco::UInt32 deviceInstance = 0;
    Poco::UInt16 vendorID = 0;
    /// Where the device answered from (network number and MAC).
    DataType::BACnetAddress address;
    /// The largest APDU the device accepts, in bytes.
    Poco::UInt32 maxApdu = 1476;
    BACNET_SEGMENTATION segmentation = SEGMENTATION_NO_SEGMENTATION;
};

}  // namespace Orvik::BACnet::Client
