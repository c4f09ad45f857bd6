#pragma once

#include "Orvik_BACnet/DataType/BACnetAddress.h"
#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NetworkListener.h"
#include "Orvik_BACnetClient/NotificationRequestRPM.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/ReadRange.h"

#include <Poco/Types.h>

#include <vector>

namespace Orvik::BACnet::Client
{

/// A BACnet network as the client worker uses it: it sends service requests and reports what comes
/// back to a NetworkListener. Implementations: Simulation::SimulatedSite (in-process devices described
/// by a site file); a BACnet/IP network fits behind the same interface.
///
/// Contract:
///   - Every send call returns at once; it never waits for the device. Answers come later through the
///     listener, from whatever thread the network uses, with the transaction id of the request.
///   - A device may never answer (it is off, or the request was lost). The client worker times out
///     and may send the same request again under the same transaction id; a late answer to an earlier
///     attempt is as good as any.
///   - sendWhoIs is unconfirmed: every device in range that hears it answers with an I-Am (onIAm).
///   - COV notifications of the subscriptions made through sendSubscribeCOV arrive through
///     onCOVNotification until the subscription is cancelled or its lifetime ends.
class Network
{
public:
    virtual ~Network() = default;

    /// Starts delivering to `listener`. Called once, before any send.
    virtual void open(NetworkListener& listener) = 0;
    /// Stops delivering: after close() returns, the listener is not called any more.
    virtual void close() = 0;

    virtual void sendWhoIs(const DataType::BACnetAddress& destination, Poco::UInt32 lowLimit,
                           Poco::UInt32 highLimit) = 0;
    virtual void sendReadProperty(Poco::UInt32 transactionId, const DataPropertyKey& key) = 0;
    virtual void sendReadPropertyMultiple(
        Poco::UInt32 transactionId, Poco::UInt32 deviceInstance,
        const std::vector<NotificationRequestRPM::Parameter>& parameters) = 0;
    virtual void sendReadRange(Poco::UInt32 transactionId, const DataPropertyKey& key,
                               const ReadRange::Range& range) = 0;
    /// `priority` 1 (highest) to 16; a NULL value relinquishes the priority's slot.
    virtual void sendWriteProperty(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                   Poco::UInt32 priority, const ValueContainer& value) = 0;
    /// key.propertyRef.propertyIdentifier MAX_BACNET_PROPERTY_ID (4194303) subscribes the whole object
    /// (SubscribeCOV), any other property that property alone (SubscribeCOVProperty).
    virtual void sendSubscribeCOV(Poco::UInt32 transactionId, const DataPropertyKey& key,
                                  const NotificationRequestSubscribeCOV::Parameters& parameters) = 0;
};

}  // namespace Orvik::BACnet::Client
