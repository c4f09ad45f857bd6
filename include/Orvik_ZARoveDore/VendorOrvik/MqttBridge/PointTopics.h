#pragma once

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnetClient/DataObjectKey.h"

#include <cstddef>
#include <string>

namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
{

/// The bridge's topics under its prefix (one or more topic levels):
///   values    <prefix>/<device instance>/<object type>/<object instance>/<property>
///   commands  <value topic>/set, their results <value topic>/set/result
///   status    <prefix>/status ("online" while connected, "offline" as the will)
/// Object types and properties go by their standard names (analog-input, present-value), or by number
/// when they have none.
class PointTopics
{
public:
    /// The prefix must be usable (problemWithPrefix() empty).
    explicit PointTopics(const std::string& prefix);

    /// What the topic levels after the prefix take at most (device, object type and instance, property,
    /// "/set/result").
    static constexpr std::size_t _POINT_LEVELS_BYTES = 256;

    /// Why `prefix` cannot start the bridge's topics; "" when it can. Every level must be a valid
    /// topic level (not empty, no "+", "#" or control characters), and a point's topics must fit into
    /// an MQTT topic.
    static std::string problemWithPrefix(const std::string& prefix);

    std::string valueTopic(const Orvik::BACnet::Client::DataObjectKey& object,
                           BACNET_PROPERTY_ID property) const;
    std::string statusTopic() const;
    /// The subscription filter of every command.
    std::string commandFilter() const;
    /// The object and property name a command topic addresses; false for any other topic (or an
    /// unknown object type name, or an instance that is not a number within BACnet's range).
    bool parseCommand(const std::string& topic, Orvik::BACnet::Client::DataObjectKey& object,
                      std::string& propertyName) const;

    static const std::string _SET;
    static const std::string _RESULT;

private:
    std::string _prefix;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::MqttBridge
