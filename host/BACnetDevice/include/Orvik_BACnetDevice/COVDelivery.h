#pragma once

#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/DataType/BACnetAddress.h"

namespace Orvik::BACnet::Device
{

/// A COV notification that is due, and where it goes: the address the subscription came from, as
/// the serving network gave it to Site::serve, confirmed or not as the subscriber asked.
class COVDelivery
{
public:
    DataType::BACnetAddress subscriber;
    bool confirmed = false;
    Codec::COVNotification notification;
};

}  // namespace Orvik::BACnet::Device
