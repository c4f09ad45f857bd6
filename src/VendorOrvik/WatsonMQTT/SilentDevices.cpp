#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/SilentDevices.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

void SilentDevices::asked(Poco::UInt32 requestId, Poco::UInt32 device)
{
    _asked[requestId] = device;
}

void SilentDevices::answered(Poco::UInt32 requestId)
{
    _asked.erase(requestId);
}

std::string SilentDevices::failed(Poco::UInt32 requestId, const Orvik::BACnet::Client::DataError& error)
{
    const auto request = _asked.find(requestId);
    if (request == _asked.end())
        return "";
    const Poco::UInt32 device = request->second;
    _asked.erase(request);
    _silent.insert(device);
    // Said once per device, not at every renewal that finds it still silent.
    if (!_named.insert(device).second)
        return "";
    return "device " + std::to_string(device) + " did not answer (" + error.getString() +
           "): its points are tried again at each renewal";
}

std::set<Poco::UInt32> SilentDevices::takeSilent()
{
    std::set<Poco::UInt32> silent;
    silent.swap(_silent);
    return silent;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
