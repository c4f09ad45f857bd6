#pragma once

#include "Orvik_BACnet/ValueContainer.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"

#include <Poco/Types.h>

#include <string>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// A cloud command after checking: the writes it asks for, or the BACnet/WS request it forwards, and
/// why the rest of it was refused.
class DataCheckedCommand
{
public:
    /// One property write, its value already in the property's datatype.
    class Write
    {
    public:
        Orvik::BACnet::Client::DataPropertyKey target;
        Poco::UInt32 priority = 16;
        ValueContainer value;
    };

    /// The writes to carry out, in order; they stand also when `error` follows (a member that fails
    /// stops the command, the members before it are written).
    std::vector<Write> writes;

    /// True for a BACnet/WS request that passed every check, with its parts.
    bool forwardBACnetWs = false;
    std::string clientId;
    std::string method;
    std::string path;
    std::string body;

    /// Why the command (or its remaining members) was refused; empty when nothing was.
    std::string error;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
