#pragma once

#include "GatewayRig.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataBridgeTimings.h"

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace Orvik::Test
{

/// A gateway that runs one of the bridges with short waits: its own device 1000 in the configuration
/// database, one instance of the bridge app started at start-up, whose parameter n is stored as
/// property 100 * app + n, and a site served with APDU time-outs of 1 s. A database that holds an
/// instance of the app already keeps it (a gateway started again). start() runs the manager with the
/// bridge: tests see reconnection after `reconnectWaitMs` and the end of a stop within a second.
class BridgeRig : public GatewayRig
{
public:
    using Parameters = std::map<int, std::string>;
    using Timings = Orvik::BACnet::App::VendorOrvik::WatsonMQTT::DataBridgeTimings;
    using Factory = std::function<Orvik::BACnet::App::AppBase*(Poco::Int32 idAppInstance, const Timings&)>;

    void start(long reconnectWaitMs = 300);
    /// The present value of an object ("analog-value:2") of a device of the site, as its stored text.
    std::string presentValue(Poco::UInt32 device, const std::string& object);

protected:
    BridgeRig(std::unique_ptr<TestDatabase> pDb, Poco::Int32 idApApp, Factory make,
              const Parameters& parameters, const std::string& site);

private:
    Poco::Int32 _idApApp;
    Factory _make;
};

}  // namespace Orvik::Test
