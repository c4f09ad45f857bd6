#pragma once

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// Where the bridge is in its life. It only moves forward: Running, then StopRequested when the stop
/// request arrives, then Draining once the COV subscriptions are cancelled.
enum class BridgeState
{
    Running,
    /// No new connections, readings or subscriptions; the next pass cancels the subscriptions.
    StopRequested,
    /// Subscriptions cancelled: the app ends when its queue has been quiet for a while.
    Draining
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
