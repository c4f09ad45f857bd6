#pragma once

#include "Orvik_BACnetClient/ClientWorker.h"
#include "Orvik_BACnetClient/Network.h"
#include "Orvik_BACnetClient/Simulation/SimulatedSite.h"
#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_ZARoveDore/AppManager.h"

#include <Poco/NotificationQueue.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Thread.h>
#include <Poco/Types.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>

namespace Orvik::Test
{

/// Waits until `done` holds, checking every 50 ms; false when it still does not after `timeoutMs`.
bool eventually(const std::function<bool()>& done, int timeoutMs = 20000);

/// Everything the cloud bridge runs on, for real: a configuration database with the repository's schema
/// and one instance of app 502, a simulated BACnet site served by the client worker, and the app manager
/// on a thread of its own. The console (std::cout) is captured while the harness lives.
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
    bool stop();

    Orvik::BACnet::Client::Simulation::SimulatedSite& site() { return *_pSite; }
    /// The site's text (without `moreDevices`).
    static std::string siteText();
    std::string console() const;
    /// Waits until the console holds `count` lines containing `text`; false when the time ran out.
    bool waitForConsole(const std::string& text, std::size_t count = 1, int timeoutMs = 20000) const;
    std::size_t countConsole(const std::string& text) const;

    /// The present value of an object of the site, as its stored text.
    std::string presentValue(Poco::UInt32 device, const std::string& object) const;

private:
    class ConsoleBuffer;

    Poco::TemporaryFile _dbFile;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDB;
    std::unique_ptr<Orvik::BACnet::Client::Network> _pNetwork;
    Orvik::BACnet::Client::Simulation::SimulatedSite* _pSite = nullptr;  ///< _pNetwork when it is one
    std::unique_ptr<Orvik::BACnet::Client::ClientWorker> _pClient;
    Poco::NotificationQueue _managerQueue;
    std::unique_ptr<Orvik::BACnet::App::AppManager> _pManager;
    Poco::Thread _managerThread;
    std::unique_ptr<ConsoleBuffer> _pConsole;
    std::streambuf* _pPreviousCout;
    Poco::Int32 _instance = 0;
};

}  // namespace Orvik::Test
