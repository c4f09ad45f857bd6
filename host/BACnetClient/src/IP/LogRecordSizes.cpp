#include "LogRecordSizes.h"

#include <algorithm>

namespace Orvik::BACnet::Client::IP
{

std::optional<Poco::UInt32> LogRecordSizes::octetsPerRecord(Poco::UInt32 deviceInstance,
                                                            const DataType::ObjectIdentifier& log) const
{
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _sizes.find(keyOf(deviceInstance, log));
    if (it == _sizes.end())
        return std::nullopt;
    return it->second;
}

void LogRecordSizes::learn(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& log,
                           Poco::UInt32 octetsPerRecord)
{
    const Key key = keyOf(deviceInstance, log);
    std::lock_guard<std::mutex> lock(_mutex);
    auto it = _sizes.find(key);
    if (it != _sizes.end())
    {
        it->second = std::max(it->second, octetsPerRecord);
        return;
    }
    if (_sizes.size() >= _MAX_LOGS)
        _sizes.clear();
    _sizes.emplace(key, octetsPerRecord);
}

LogRecordSizes::Key LogRecordSizes::keyOf(Poco::UInt32 deviceInstance, const DataType::ObjectIdentifier& log)
{
    return Key(deviceInstance, static_cast<int>(log.getObjectType()), log.getInstance());
}

}  // namespace Orvik::BACnet::Client::IP
