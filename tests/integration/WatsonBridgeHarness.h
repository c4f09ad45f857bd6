#pragma once

#include "GatewayRig.h"
#include "Orvik_BACnetClient/Network.h"

#include <Poco/Types.h>

#include <memory>
#include <string>

namespace Orvik::Test
{

/// Everything the cloud bridge runs on, for real: a gateway rig (GatewayRig) whose database holds one
/// instance of app 502 and whose manager runs the bridge with short waits once started.
///
/// The site has the gateway's own device 1000 ("Gateway", with the commandable analog value "GwSetpoint")
/// and device 2001 ("Boiler", vendor 5, model "X", with the drifting analog input "Hall", the commandable
/// analog value "Setpoint", the binary value "Pump" and the live trend log "HallLog" of "Hall"). By
/// default the four points are published and the three values accept commands.
class WatsonBridgeHarness
{
public:
    static constexpr Poco::UInt32 _GATEWAY = 1000;
    static constexpr Poco::UInt32 _BOILER = 2001;
    static const std::string _GATEWAY_TOPIC;  ///< iot-2/type/gwtype/id/gw1
    static const std::string _BOILER_TOPIC;   ///< iot-2/type/0005-X/id/Boiler

    /// Parameters of a broker on 127.0.0.1:`brokerPort`; `secure` selects TLS. `moreDevices` (JSON
    /// device objects separated by commas) joins the site's devices.
    /// `pNetwork`: another network (BACnet/IP) serving siteText() instead of the simulated site; site()
    /// and presentValue() are not available then.
    WatsonBridgeHarness(Poco::UInt16 brokerPort, bool secure, const std::string& moreDevices = "",
                        std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork = nullptr);
    ~WatsonBridgeHarness();

    /// Stores the text of parameter `position` (1 to 11); an empty text stores NULL.
    void setParameter(int position, const std::string& text);
    void start();
    /// Posts the host's stop request to the manager and waits for it to end; false when it did not end
    /// within 30 s.
    bool stop() { return _rig.stopManager(); }

    Orvik::BACnet::Client::Simulation::SimulatedSite& site() { return _rig.site(); }
    /// The site's text (without `moreDevices`).
    static std::string siteText();
    std::string console() const { return _rig.out(); }
    /// Waits until the console holds `count` lines containing `text`; false when the time ran out.
    bool waitForConsole(const std::string& text, std::size_t count = 1, int timeoutMs = 20000) const;
    std::size_t countConsole(const std::string& text) const { return countOf(console(), text); }

    /// The present value of an object of the site, as its stored text.
    std::string presentValue(Poco::UInt32 device, const std::string& object);

private:
    GatewayRig _rig{_GATEWAY};
    Poco::Int32 _instance = 0;
};

}  // namespace Orvik::Test
