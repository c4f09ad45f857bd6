#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_Watson/DataConnection.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The bridge's parameters, read from the app instance's values by position (a NULL value counts as
/// not configured; see AppWatsonMQTT for the list): the platform connection, the COV and poll setup,
/// and the configured objects with their flags.
class BridgeSettings
{
public:
    /// `consolePrefix` starts every console line (the app's name).
    explicit BridgeSettings(const std::string& consolePrefix);

    /// Reads every parameter. Objects go into `objects` sorted by device and object, published ones
    /// first; a reference without device names an object of `gatewayDevice`. Prints "Port used:
    /// <port>" once the port is known. Returns false when a connection parameter the bridge cannot
    /// do without is missing, or when the gateway's names cannot be used on the platform (after a
    /// console line saying why).
    bool read(const std::vector<ValueContainer>& values, Poco::UInt32 gatewayDevice,
              ObjectIdentities& objects);

    Orvik::MQTT::Watson::DataConnection connection;
    DataSetupParams setupParams;

private:
    using ValueIterator = std::vector<ValueContainer>::const_iterator;

    bool readConnection(ValueIterator& it, ValueIterator end);
    bool isUsableGateway() const;
    void readSetup(ValueIterator& it, ValueIterator end);
    void readObjects(ValueIterator& it, ValueIterator end, Poco::UInt32 gatewayDevice,
                     ObjectIdentities::Flags flag, ObjectIdentities& objects) const;

    std::string _consolePrefix;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
