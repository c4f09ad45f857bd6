#include "MqttBridgeRig.h"

#include "Orvik_BACnetClient/DataPropertyKey.h"
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

}  // namespace

MqttBridgeRig::MqttBridgeRig(const std::string& brokerUri, const std::map<int, std::string>& parameters,
                             const std::string& site)
    : MqttBridgeRig(std::make_unique<TestDatabase>(), brokerUri, parameters, site)
{
}

MqttBridgeRig::MqttBridgeRig(const std::string& databasePath, const std::string& brokerUri,
                             const std::map<int, std::string>& parameters)
    : MqttBridgeRig(std::make_unique<TestDatabase>(databasePath), brokerUri, parameters, "")
{
}

MqttBridgeRig::MqttBridgeRig(std::unique_ptr<TestDatabase> pDb, const std::string& brokerUri,
                             const std::map<int, std::string>& parameters, const std::string& site)
    : GatewayRig(1000, std::move(pDb))
{
    // A gateway started again on its database keeps what it had.
    if (db().queryInt("SELECT COUNT(*) FROM ap_app_instance WHERE id_ap_app=503") == 0)
    {
        db().exec(
            "INSERT INTO bn_device (id_bn_device, id_dv_controller, name) VALUES (1, 1, 'Gateway');"
            "INSERT INTO bn_device_object (id_bn_device, id_bn_object_type, instance_nr, name) "
            "VALUES (1, 8, 1000, 'Gateway')");
        const Poco::Int32 instance = db().addInstance(503, 1, true);
        std::string url = brokerUri;
        url.replace(0, 3, url.compare(0, 3, "ssl") == 0 ? "mqtts" : "mqtt");
        std::map<int, std::string> values = {
            {1, url},
            {11, "site7"},
            {14, "[device:2001/analog-input:1, device:2001/analog-value:2, device:2001/binary-value:3]"},
            {15, "[device:2001/analog-value:2, device:2001/binary-value:3]"}};
        for (const auto& [number, text] : parameters)
            values[number] = text;
        for (const auto& [number, text] : values)
            db().storeValue(instance, 50300 + number, text);
    }
    serveSiteText(site.empty() ? SITE : site, Waits{1000, 1, 500});
}

MqttBridgeRig::~MqttBridgeRig()
{
    stopManager();
}

void MqttBridgeRig::start(long reconnectWaitMs)
{
    Orvik::BACnet::App::VendorOrvik::WatsonMQTT::DataBridgeTimings timings;
    timings.reconnectWaitMs = reconnectWaitMs;
    timings.quietDrainMs = 200;
    timings.drainLimitMs = 1000;
    auto appTypes = Orvik::BACnet::App::AppManager::appTypes();
    appTypes[503] = [timings](Poco::Int32 id)
    { return new Orvik::BACnet::App::VendorOrvik::MqttBridge::AppMqttBridge(id, timings); };
    startManager(appTypes);
}

std::string MqttBridgeRig::presentValue(Poco::UInt32 type, Poco::UInt32 instance)
{
    using namespace Orvik::BACnet::Client;
    Orvik::BACnet::ValueContainer value;
    site().readProperty(
        DataPropertyKey(DataObjectKey(2001, Orvik::BACnet::DataType::ObjectIdentifier(type, instance)),
                        Orvik::BACnet::PROP_PRESENT_VALUE),
        value);
    return value.getText();
}

}  // namespace Orvik::Test
