#pragma once

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include "Orvik_BACnet/DataType/BACnetDeviceObjectPropertyReference.h"
#include "Orvik_BACnetClient/DataPropertyKey.h"

namespace Orvik::BACnet::App::DataType
{

/// One relay of the binary output toggler: the binary property it drives (device, object, property,
/// array index) with its timing and its current state.
class DataCrazyRelay : public Orvik::BACnet::Client::DataPropertyKey
{
public:
    DataCrazyRelay(const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& ref,
                   Poco::UInt32 aWritePriority, Poco::UInt32 anOnTime, Poco::UInt32 aMaxOffTime);
    virtual ~DataCrazyRelay() = default;
    DataCrazyRelay(const DataCrazyRelay&) = default;
    DataCrazyRelay& operator=(const DataCrazyRelay&) = default;

    /// BACnet priority of the toggling writes.
    Poco::UInt32 writePriority;
    /// Milliseconds the relay stays on.
    Poco::Int32 onTime;
    /// The off time is drawn at random below this many milliseconds.
    Poco::Int32 maxOffTime;
    /// Current state: 0 off (inactive), 1 on (active).
    Poco::UInt32 onOff = 0;
    /// When the relay is next due to change.
    Poco::Clock clk;
};

}  // namespace Orvik::BACnet::App::DataType
