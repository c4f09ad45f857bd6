#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_Watson/IOTP_GatewayClient.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataWatsonKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/EventText.h"

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
class EventPublisher
{
public:
    /// `consolePrefix` starts every console line (the app's name).
    EventPublisher(Watson_IOTP::IOTP_GatewayClient& client, Poco::UInt32 gatewayDevice,
                   const std::string& consolePrefix);

    void publishValues(const Orvik::BACnet::Client::DataObjectKey& object, const DataWatsonKey& watson,
                       const std::vector<EventText::NamedValue>& values);
    /// "bacnet-ws-<client id>": the answer of a finished job, or why it has none.
    void publishBACnetWsReply(const BACnetWsHandler& handler);

private:
    std::string eventWithinLimit(const Orvik::BACnet::Client::DataObjectKey& object,
                                 const DataWatsonKey& watson,
                                 const std::vector<EventText::NamedValue>& values) const;

    Watson_IOTP::IOTP_GatewayClient& _client;
    Poco::UInt32 _gatewayDevice;
    std::string _consolePrefix;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
