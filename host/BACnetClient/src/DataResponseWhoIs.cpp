#include "Orvik_BACnetClient/DataResponseWhoIs.h"

namespace Orvik::BACnet::Client
{

DataResponseWhoIs::DataResponseWhoIs(Poco::UInt32 aDeviceInstance, Poco::UInt16 aVendorID,
                                     const DataType::BACnetAddress& anAddress, Poco::UInt32 aMaxApdu,
                                     BACNET_SEGMENTATION aSegmentation)
    : deviceInstance(aDeviceInstance),
      vendorID(aVendorID),
      address(anAddress),
      maxApdu(aMaxApdu),
      segmentation(aSegmentation)
{
}

}  // namespace Orvik::BACnet::Client
