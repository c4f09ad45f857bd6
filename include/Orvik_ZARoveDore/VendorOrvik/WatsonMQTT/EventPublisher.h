#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_Watson/IOTP_GatewayClient.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PublishRateLimit.h"

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

class BACnetWsHandler;

/// Publishes the bridge's events (QoS 1, format json) through the gateway client, none larger than the
/// platform accepts (Watson_IOTP::IOTP_Client::MAX_PAYLOAD_BYTES).
///
/// Values of an object of the gateway's own device go out as the gateway's "COV" event, those of other
/// devices as the attached device's. Values that would make an event too large are left out, each with
/// a console line; an event with no value left is not sent. A BACnet/WS answer too large becomes an
/// error reply, with a console line.
///
/// With a queue, value events that arise while the client is not connected (and those after them, until
/// the queue is replayed) wait in the queue; replayQueued() sends them in order, each marked
/// "replayed":true with its original "time" beside "d". Under a rate limit (PublishRateLimit, one point
/// per object) value events, replayed ones too, wait for releaseDue(); BACnet/WS replies never do.
class EventPublisher
{
public:
    /// `consolePrefix` starts every console line (the app's name).
    EventPublisher(Watson_IOTP::IOTP_GatewayClient& client, Poco::UInt32 gatewayDevice,
                   const std::string& consolePrefix, OutageQueue* pQueue = nullptr,
                   const PublishRateLimit& limit = PublishRateLimit(0, 0));

    void publishValues(const Orvik::BACnet::Client::DataObjectKey& object, const DataWatsonKey& watson,
                       const std::vector<EventText::NamedValue>& values);
    /// "bacnet-ws-<client id>": the answer of a finished job, or why it has none.
    void publishBACnetWsReply(const BACnetWsHandler& handler);
    /// Sends the queued events while connected, after a console line counting those dropped at the
    /// queue's cap (if any were).
    void replayQueued();
    /// Sends the value events whose turn under the rate limit has come; returns `wait` (ms) shortened
    /// to when the next may go.
    long releaseDue(long wait);

private:
    std::string eventWithinLimit(const Orvik::BACnet::Client::DataObjectKey& object,
                                 const DataWatsonKey& watson,
                                 const std::vector<EventText::NamedValue>& values) const;

    void sendValueEvent(const OutageQueue::Message& event);
    void publishValueEvent(const std::string& deviceType, const std::string& deviceId,
                           const std::string& text);

    Watson_IOTP::IOTP_GatewayClient& _client;
    OutageQueue* _pQueue;
    PublishRateLimit _limit;
    Poco::UInt32 _gatewayDevice;
    std::string _consolePrefix;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
