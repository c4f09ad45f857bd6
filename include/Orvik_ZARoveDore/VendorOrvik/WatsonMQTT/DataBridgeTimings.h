#pragma once

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// How long the bridge waits for the platform and for its devices, in milliseconds. The defaults are
/// the production values; setups that cannot wait that long (test rigs) pass shorter ones.
class DataBridgeTimings
{
public:
    /// Between connection attempts while the platform cannot be reached.
    long reconnectWaitMs = 15000;
    /// After the cancelling pass: the app ends after this long without a notification.
    long quietDrainMs = 1000;
    /// After the cancelling pass: the app ends after this long at the latest, should a device go on
    /// sending.
    long drainLimitMs = 5000;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
