#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_Watson/DataConnection.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include <Poco/Types.h>

#include <initializer_list>
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

    /// Why the text of parameter `number` would make the gateway unusable on the platform (the
    /// organisation id, the gateway's device type or id alone), or "" when it would not (any text of
    /// other parameters). For tools that check a value before it is stored; read() also refuses a
    /// device type and id that are usable alone but make too long a topic together.
    static std::string problemWith(Poco::Int32 number, const std::string& text);

    /// Parameter numbers of the connection's names.
    static constexpr Poco::Int32 _ORG_ID = 1;
    static constexpr Poco::Int32 _GATEWAY_TYPE = 3;
    static constexpr Poco::Int32 _GATEWAY_ID = 4;
    /// Parameter number of the gateway's credential on the platform.
    static constexpr Poco::Int32 _AUTHENTICATION_TOKEN = 6;

    Orvik::MQTT::Watson::DataConnection connection;
    DataSetupParams setupParams;
    /// Parameter 12: the cap of the queue on disk that keeps events while the platform is out of reach.
    Poco::UInt32 outageQueueMegabytes = OutageQueue::_DEFAULT_CAP_MEGABYTES;
    /// Parameters 13 and 14: the rate limit of value events (0: none).
    Poco::UInt32 messagesPerSecond = 0;
    Poco::UInt32 bytesPerSecond = 0;

    /// Reads a list of objects at `it` (advanced past it; nothing when at `end`), each configured with
    /// `flag` (see read()). Shared by the bridges.
    using ValueIterator = std::vector<ValueContainer>::const_iterator;
    static void readObjects(ValueIterator& it, ValueIterator end, Poco::UInt32 gatewayDevice,
                            ObjectIdentities::Flags flag, ObjectIdentities& objects);
    /// Reads unsigned numbers at `it` into `numbers` in turn; a NULL or missing one keeps its default.
    static void readNumbers(ValueIterator& it, ValueIterator end,
                            std::initializer_list<Poco::UInt32*> numbers);

private:
    bool readConnection(ValueIterator& it, ValueIterator end);
    bool isUsableGateway() const;
    void readSetup(ValueIterator& it, ValueIterator end);

    std::string _consolePrefix;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
