#pragma once

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"

#include <Poco/Types.h>

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

namespace Orvik::BACnet::Client::IP
{

/// The octets one log record took in a device's ReadRange answers, per device and log: later pages
/// are planned with what the log's records really take instead of a conservative guess. The largest
/// size seen is kept, so a page of smaller records does not make the next one too large. Bounded: past
/// _MAX_LOGS everything learned is forgotten, and planning starts again from the guess.
///
/// Thread-safe: planned under the network's lock, learned from answers read without it.
class LogRecordSizes
{
public:
    static constexpr std::size_t _MAX_LOGS = 16384;

    /// Empty when nothing was learned about the log yet.
    std::optional<Poco::UInt32> octetsPerRecord(Poco::UInt32 deviceInstance,
                                                const DataType::ObjectIdentifier& log) const;
    void learn(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& log,
               Poco::UInt32 octetsPerRecord);

private:
    using Key = std::tuple<Poco::UInt32, int, Poco::UInt32>;
    static Key keyOf(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& log);

    mutable std::mutex _mutex;
    std::map<Key, Poco::UInt32> _sizes;
};

}  // namespace Orvik::BACnet::Client::IP
