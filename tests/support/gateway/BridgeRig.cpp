#include "BridgeRig.h"

#include "Orvik_BACnetClient/DataPropertyKey.h"

namespace Orvik::Test
{

BridgeRig::BridgeRig(std::unique_ptr<TestDatabase> pDb, Poco::Int32 idApApp, Factory make,
                     const Parameters& parameters, const std::string& site)
    : GatewayRig(1000, std::move(pDb)), _idApApp(idApApp), _make(std::move(make))
{
    if (db().queryInt("SELECT COUNT(*) FROM ap_app_instance WHERE id_ap_app=" + std::to_string(idApApp)) == 0)
    {
        db().exec(
            "INSERT INTO bn_device (id_bn_device, id_dv_controller, name) VALUES (1, 1, 'Gateway');"
            "INSERT INTO bn_device_object (id_bn_device, id_bn_object_type, instance_nr, name) "
            "VALUES (1, 8, 1000, 'Gateway')");
        const Poco::Int32 instance = db().addInstance(idApApp, 1, true);
        for (const auto& [number, text] : parameters)
            db().storeValue(instance, 100 * idApApp + number, text);
    }
    serveSiteText(site, Waits{1000, 1, 500});
}

void BridgeRig::start(long reconnectWaitMs)
{
    Timings timings;
    timings.reconnectWaitMs = reconnectWaitMs;
    timings.quietDrainMs = 200;
    timings.drainLimitMs = 1000;
    auto appTypes = Orvik::BACnet::App::AppManager::appTypes();
    appTypes[_idApApp] = [make = _make, timings](Poco::Int32 id) { return make(id, timings); };
    startManager(appTypes);
}

std::string BridgeRig::presentValue(Poco::UInt32 device, const std::string& object)
{
    using namespace Orvik::BACnet;
    ValueContainer identifier, value;
    identifier.setText(BACNET_DT_OBJECT_IDENTIFIER, BACNET_APPLICATION_TAG_NULL, object, false);
    site().readProperty(
        Client::DataPropertyKey(Client::DataObjectKey(device, identifier.getObjectIdentifier()),
                                PROP_PRESENT_VALUE),
        value);
    return value.getText();
}

}  // namespace Orvik::Test
