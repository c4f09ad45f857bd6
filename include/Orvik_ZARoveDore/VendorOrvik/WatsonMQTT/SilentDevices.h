#pragma once

#include "Orvik_BACnetClient/DataError.h"

#include <Poco/Types.h>

#include <map>
#include <set>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The devices whose setup read (names, units: what a bridge reads before it publishes a device's
/// points) went unanswered, because they were off or unreachable when the bridge started. A bridge asks
/// them again at each renewal of its subscriptions until they answer, and names each on the console only
/// the first time. Used by the app's thread only.
class SilentDevices
{
public:
    /// The setup read of `device` went out as request `requestId`.
    void asked(Poco::UInt32 requestId, Poco::UInt32 device);
    /// Request `requestId` was answered (whether it was a setup read or not).
    void answered(Poco::UInt32 requestId);
    /// Request `requestId` failed with `error`: when it was a setup read, its device is silent. Returns
    /// the console line that names the device the first time it fails; "" otherwise.
    std::string failed(Poco::UInt32 requestId, const Orvik::BACnet::Client::DataError& error);

    bool any() const { return !_silent.empty(); }
    /// The silent devices, to be asked again now; each counts as silent again only when that read fails.
    std::set<Poco::UInt32> takeSilent();

private:
    /// Device by request id, for the reads on their way.
    std::map<Poco::UInt32, Poco::UInt32> _asked;
    std::set<Poco::UInt32> _silent;
    std::set<Poco::UInt32> _named;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
