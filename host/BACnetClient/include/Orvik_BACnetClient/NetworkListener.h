#pragma once

#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_BACnetClient/NetworkReply.h"
#include "Orvik_BACnetClient/UnreadReply.h"

#include <Poco/Types.h>

#include <memory>

namespace Orvik::BACnet::Client
{

/// Receives what arrives from a Network (see Network.h for the whole contract). A Network may call
/// these from any thread, one call at a time or concurrently. An implementation returns at once and
/// never calls the network back: the client worker posts an answer to the requester's queue and queues
/// the other events for its own thread.
class NetworkListener
{
public:
    virtual ~NetworkListener() = default;

    /// The end of the transaction `transactionId`: the device's answer, its error, or the time-out
    /// error. Once per transaction; a transaction the listener no longer waits for is dropped.
    virtual void onReply(Poco::UInt32 transactionId, NetworkReply reply) = 0;
    /// The same end of a transaction with the answer still to read (pReply is never null). A listener
    /// that posts it to a thread of its own reads it there; this one reads it at once.
    virtual void onUnreadReply(Poco::UInt32 transactionId, std::unique_ptr<UnreadReply> pReply)
    {
        onReply(transactionId, pReply->read());
    }
    /// An I-Am (in answer to a Who-Is, or unsolicited).
    virtual void onIAm(const DataResponseWhoIs& iAm) = 0;
    /// A change-of-value notification for a subscription of this client.
    virtual void onCOVNotification(const DataResponseCOV& notification) = 0;
    /// The transaction waits in the network's queue, not on the wire yet (waiting), or it went out at
    /// last (not waiting). A listener that keeps no deadlines has nothing to do.
    virtual void onQueueing(Poco::UInt32 /*transactionId*/, bool /*waiting*/) {}
};

}  // namespace Orvik::BACnet::Client
