#include "WatsonBridgeHarness.h"

#include "Eventually.h"
#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/AppWatsonMQTT.h"

#include <map>

namespace Orvik::Test
{

const std::string WatsonBridgeHarness::_GATEWAY_TOPIC = "iot-2/type/gwtype/id/gw1";
const std::string WatsonBridgeHarness::_BOILER_TOPIC = "iot-2/type/0005-X/id/Boiler";

namespace
{

const char* const SITE = R"({
  "tickMs": 50,
  "devices": [
    {"instance": 1000, "name": "Gateway", "vendorIdentifier": 64701, "modelName": "GW",
     "objects": [{"type": "analog-value", "instance": 1, "name": "GwSetpoint", "presentValue": 5}]},
    {"instance": 2001, "name": "Boiler", "vendorIdentifier": 5, "modelName": "X",
     "objects": [
       {"type": "analog-input", "instance": 1, "name": "Hall", "presentValue": 20, "covIncrement": 0.01,
        "drift": {"amplitude": 5, "periodSeconds": 4}},
       {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21},
       {"type": "binary-value", "instance": 3, "name": "Pump", "presentValue": "inactive"},
       {"type": "trend-log", "instance": 4, "name": "HallLog", "logs": "analog-input:1",
        "log": {"intervalSeconds": 1, "count": 10, "live": true}}]}
  ]
})";

}  // namespace

std::string WatsonBridgeHarness::siteText()
{
    return SITE;
}

WatsonBridgeHarness::WatsonBridgeHarness(Poco::UInt16 brokerPort, bool secure, const std::string& moreDevices,
                                         std::unique_ptr<Orvik::BACnet::Client::Network> pNetwork)
{
    _rig.db().exec(
        "INSERT INTO bn_device (id_bn_device, id_dv_controller, name) VALUES (1, 1, 'Gateway');"
        "INSERT INTO bn_device_object (id_bn_device, id_bn_object_type, instance_nr, name) "
        "VALUES (1, 8, 1000, 'Gateway')");
    _instance = _rig.db().addInstance(502, 1, true);
    const std::map<int, std::string> defaults = {
        {1, "myorg"},
        {2, "127.0.0.1:" + std::to_string(brokerPort)},
        {3, "gwtype"},
        {4, "gw1"},
        {6, "token-1"},
        {7, secure ? "true" : "false"},
        {10,
         "[device:1000/analog-value:1, device:2001/analog-input:1, device:2001/analog-value:2, "
         "device:2001/binary-value:3]"},
        {11, "[device:1000/analog-value:1, device:2001/analog-value:2, device:2001/binary-value:3]"}};
    for (const auto& [position, text] : defaults)
    {
        setParameter(position, text);
    }
    const GatewayRig::Waits waits{1000, 1, 500};
    if (pNetwork)
    {
        _rig.serveNetwork(std::move(pNetwork), waits);
        return;
    }
    std::string site = SITE;
    if (!moreDevices.empty())
    {
        site.insert(site.rfind(']'), "," + moreDevices);
    }
    _rig.serveSiteText(site, waits);
}

WatsonBridgeHarness::~WatsonBridgeHarness() = default;

void WatsonBridgeHarness::setParameter(int position, const std::string& text)
{
    _rig.db().storeValue(_instance, 50200 + position,
                         text.empty() ? Poco::Nullable<std::string>() : Poco::Nullable<std::string>(text));
}

void WatsonBridgeHarness::start()
{
    // The bridge with short waits: tests see reconnection and the end of a stop within a second.
    using Orvik::BACnet::App::VendorOrvik::WatsonMQTT::AppWatsonMQTT;
    Orvik::BACnet::App::VendorOrvik::WatsonMQTT::DataBridgeTimings timings;
    timings.reconnectWaitMs = 300;
    timings.quietDrainMs = 200;
    timings.drainLimitMs = 1000;
    Orvik::BACnet::App::AppManager::AppTypeTable appTypes = Orvik::BACnet::App::AppManager::appTypes();
    appTypes[502] = [timings](Poco::Int32 idAppInstance)
    { return new AppWatsonMQTT(idAppInstance, timings); };
    _rig.startManager(appTypes);
}

bool WatsonBridgeHarness::waitForConsole(const std::string& text, std::size_t count, int timeoutMs) const
{
    return eventually([&] { return countConsole(text) >= count; }, std::chrono::milliseconds(timeoutMs));
}

std::string WatsonBridgeHarness::presentValue(Poco::UInt32 device, const std::string& object)
{
    const auto separator = object.find(':');
    Orvik::BACnet::ValueContainer value;
    std::uint32_t type = 0;
    Orvik::BACnet::ProtocolText::objectTypeIndex(object.substr(0, separator), type);
    const Orvik::BACnet::DataType::ObjectIdentifier identifier(type,
                                                               std::stoul(object.substr(separator + 1)));
    site().readProperty(
        Orvik::BACnet::Client::DataPropertyKey(Orvik::BACnet::Client::DataObjectKey(device, identifier),
                                               Orvik::BACnet::PROP_PRESENT_VALUE),
        value);
    return value.getText();
}

}  // namespace Orvik::Test
