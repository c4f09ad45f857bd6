#pragma once

#include "Orvik_BACnet/Codec/COVNotification.h"
#include "Orvik_BACnet/Codec/PropertyReference.h"
#include "Orvik_BACnet/Codec/PropertyValue.h"
#include "Orvik_BACnet/Codec/ReadProperty.h"
#include "Orvik_BACnet/Codec/ReadPropertyMultiple.h"
#include "Orvik_BACnet/Codec/ReadRange.h"
#include "Orvik_BACnet/Codec/ServiceError.h"
#include "Orvik_BACnet/Codec/SubscribeCOV.h"
#include "Orvik_BACnet/Codec/WriteProperty.h"
#include "Orvik_BACnetClient/DataError.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataPropertyRef.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/ReadRange.h"
#include "Orvik_BACnetClient/ReadRangeAck.h"

#include <vector>

namespace Orvik::BACnet::Client
{

/// The client's records <-> the wire codec's records. Values are passed on as they are; what the codec
/// could not read arrives as an error and stays one.
class RecordConversion
{
public:
    static Codec::PropertyReference propertyOf(const DataPropertyRef& propertyRef);
    static DataPropertyRef propertyRefOf(const Codec::PropertyReference& property);

    static std::vector<Codec::ReadPropertyMultiple::ObjectRequest> objectRequestsOf(
        const std::vector<NotificationRequestRPM::Parameter>& parameters);
    static DataResponseRPM::Value resultOf(const Codec::PropertyValue& result);
    static DataResponseRPM resultOf(const Codec::ReadPropertyMultiple::ObjectResult& result);

    static Codec::ReadProperty::Request readPropertyOf(const DataPropertyKey& key);
    static Codec::ReadRange::Request readRangeOf(const DataPropertyKey& key, const ReadRange::Range& range);
    /// The priority as it is (0: none on the wire); whoever sends it checks its range.
    static Codec::WriteProperty::Request writePropertyOf(const DataPropertyKey& key, Poco::UInt32 priority,
                                                         const ValueContainer& value);
    /// SubscribeCOVProperty when the key names a property (not MAX_BACNET_PROPERTY_ID).
    static Codec::SubscribeCOV::Request subscriptionOf(
        const DataPropertyKey& key, const NotificationRequestSubscribeCOV::Parameters& parameters);

    static Codec::ReadRange::Range rangeOf(const ReadRange::Range& range);
    static ReadRangeAck::Result resultOf(const Codec::ReadRange::Ack& ack);

    /// Values that could not be read are left out (a notification has no place for an error).
    static DataResponseCOV notificationOf(const Codec::COVNotification& notification, bool confirmed);
};

}  // namespace Orvik::BACnet::Client
