#pragma once

#include "BridgeRig.h"

#include <string>

namespace Orvik::Test
{

/// A BridgeRig of the MQTT bridge (app 503): its own device 1000 and the boiler 2001 (the drifting
/// analog input 1 "Hall" in degrees-celsius, the analog value 2 and the binary value 3), one instance
/// publishing the boiler's three points under the prefix site7, the value and the binary value
/// commandable. `parameters` (by number) add to or replace those.
class MqttBridgeRig : public BridgeRig
{
public:
    /// On a database of its own; `brokerUri` as MosquittoBroker::uri() gives it. `site` (a site file's
    /// text) replaces the one described above.
    explicit MqttBridgeRig(const std::string& brokerUri, const Parameters& parameters = {},
                           const std::string& site = "");
    /// On the database file `databasePath`, configured when it is new (a gateway started again).
    MqttBridgeRig(const std::string& databasePath, const std::string& brokerUri,
                  const Parameters& parameters);

private:
    MqttBridgeRig(std::unique_ptr<TestDatabase> pDb, const std::string& brokerUri,
                  const Parameters& parameters, const std::string& site);
};

}  // namespace Orvik::Test
