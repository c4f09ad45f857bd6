#pragma once

#include <Poco/NotificationQueue.h>

#include <cstddef>
#include <functional>

#include "Orvik_BACnetClient/ServiceHelper.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

/// Runs the searches of many devices at once on a few threads ("lanes"), each lane with blocking BACnet
/// services of its own on the requester's client queue, while the calling thread keeps the requester
/// alive. A search of one device is a chain of requests that each wait for the one before; searching
/// devices side by side makes the whole search take about as long as its slowest device. The client
/// still keeps its own limits of requests per device and per router.
class ParallelSearch
{
public:
    /// Searches item `index` with `services`, on a lane's thread.
    using Search = std::function<void(std::size_t index, Client::ServiceHelper& services)>;
    /// Called on the calling thread every `keepAliveMs` while searches run, to answer what the requester
    /// must answer (sanity requests); true when the requester was told to stop.
    using KeepAlive = std::function<bool()>;

    ParallelSearch(Poco::NotificationQueue& clientQueue, std::size_t lanes, KeepAlive keepAlive,
                   long keepAliveMs);

    /// Runs `search` for the items 0 to `count` - 1, at most `lanes` at once, and returns true when all
    /// ran. When keepAlive() says stop, the running searches are told to stop (their blocking calls end
    /// with SYNC_RESULT_STOP), the others do not start, and the result is false. An exception of a search
    /// is thrown again here once every lane has ended.
    bool run(std::size_t count, const Search& search);

private:
    Poco::NotificationQueue& _clientQueue;
    const std::size_t _lanes;
    const KeepAlive _keepAlive;
    const long _keepAliveMs;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
