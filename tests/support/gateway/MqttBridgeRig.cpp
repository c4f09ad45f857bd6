#include "MqttBridgeRig.h"

#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/AppMqttBridge.h"

namespace Orvik::Test
{

namespace
{

const char* const SITE = R"({
  "tickMs": 50,
  "devices": [
    {"instance": 1000, "name": "Gateway", "vendorIdentifier": 64701, "modelName": "GW", "objects": []},
    {"instance": 2001, "name": "Boiler", "vendorIdentifier": 5, "modelName": "X",
     "objects": [
       {"type": "analog-input", "instance": 1, "name": "Hall", "presentValue": 20, "covIncrement": 0.01,
        "units": "degrees-celsius", "drift": {"amplitude": 5, "periodSeconds": 4}},
       {"type": "analog-value", "instance": 2, "name": "Setpoint", "presentValue": 21},
       {"type": "binary-value", "instance": 3, "name": "Pump", "presentValue": "inactive"}]}
  ]
})";

BridgeRig::Parameters withDefaults(const std::string& brokerUri, BridgeRig::Parameters parameters)
{
    std::string url = brokerUri;
    url.replace(0, 3, url.compare(0, 3, "ssl") == 0 ? "mqtts" : "mqtt");
    parameters.insert(
        {{1, url},
         {11, "site7"},
         {14, "[device:2001/analog-input:1, device:2001/analog-value:2, device:2001/binary-value:3]"},
         {15, "[device:2001/analog-value:2, device:2001/binary-value:3]"}});  // keeps the given ones
    return parameters;
}

}  // namespace

MqttBridgeRig::MqttBridgeRig(const std::string& brokerUri, const Parameters& parameters,
                             const std::string& site)
    : MqttBridgeRig(std::make_unique<TestDatabase>(), brokerUri, parameters, site)
{
}

MqttBridgeRig::MqttBridgeRig(const std::string& databasePath, const std::string& brokerUri,
                             const Parameters& parameters)
    : MqttBridgeRig(std::make_unique<TestDatabase>(databasePath), brokerUri, parameters, "")
{
}

MqttBridgeRig::MqttBridgeRig(std::unique_ptr<TestDatabase> pDb, const std::string& brokerUri,
                             const Parameters& parameters, const std::string& site)
    : BridgeRig(
          std::move(pDb), 503,
          [](Poco::Int32 id, const Timings& timings)
          { return new Orvik::BACnet::App::VendorOrvik::MqttBridge::AppMqttBridge(id, timings); },
          withDefaults(brokerUri, parameters), site.empty() ? SITE : site)
{
}

}  // namespace Orvik::Test
