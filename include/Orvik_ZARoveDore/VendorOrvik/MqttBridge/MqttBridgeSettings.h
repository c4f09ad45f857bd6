#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_ZARoveDore/VendorOrvik/MqttBridge/DataBrokerConnection.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/OutageQueue.h"

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// The parameters of the bridge for any broker, read by position (a NULL value counts as not
/// configured; AppMqttBridge lists them): the broker connection, the topic prefix, whether values are
/// retained, the COV lifetime, the configured objects, the outage queue's cap, the rate limit and the poll
/// interval.
class MqttBridgeSettings
{
public:
    /// Parameter numbers the configuration tools check or hide.
    static constexpr Poco::Int32 _BROKER_URL = 1;
    static constexpr Poco::Int32 _CLIENT_ID = 2;
    static constexpr Poco::Int32 _PASSWORD = 6;
    static constexpr Poco::Int32 _TOPIC_PREFIX = 11;

    static const std::string _DEFAULT_PREFIX;
    static constexpr Poco::UInt32 _DEFAULT_LIFETIME_SECONDS = 240;

    /// Reads every parameter; published objects go into `objects` before commandable ones. Returns
    /// false (after a console line starting with `consolePrefix` that says why) when the broker URL is
    /// missing or unusable, the prefix unusable, or a client certificate has no key.
    bool read(const std::vector<ValueContainer>& values, Poco::UInt32 gatewayDevice,
              WatsonMQTT::ObjectIdentities& objects, const std::string& consolePrefix);

    /// Why the text of parameter `number` cannot be used; "" when it can (or is not checked).
    static std::string problemWith(Poco::Int32 number, const std::string& text);

    DataBrokerConnection connection;
    std::string prefix = _DEFAULT_PREFIX;
    bool retainValues = false;
    Poco::UInt32 covLifetimeSeconds = _DEFAULT_LIFETIME_SECONDS;
    Poco::UInt32 outageQueueMegabytes = WatsonMQTT::OutageQueue::_DEFAULT_CAP_MEGABYTES;
    /// Publish rate limit of values (0: none).
    Poco::UInt32 messagesPerSecond = 0;
    Poco::UInt32 bytesPerSecond = 0;
    /// Between readings of a point whose COV subscription was refused (0: never read).
    Poco::UInt32 pollIntervalSeconds = WatsonMQTT::DataSetupParams::_DEFAULT_POLL_RATE_SECONDS;

private:
    using ValueIterator = std::vector<ValueContainer>::const_iterator;

    void readConnection(ValueIterator& it, ValueIterator end, Poco::UInt32 gatewayDevice);
    std::string problem() const;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
