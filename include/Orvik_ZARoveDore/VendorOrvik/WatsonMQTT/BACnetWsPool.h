#pragma once

#include <Poco/ThreadPool.h>

#include <memory>
#include <mutex>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

class BACnetWsHandler;

/// The bridge's threads for BACnet/WS jobs (1 to 16, lowest priority), created on the first job. Jobs
/// may be started from any thread. A started job hands itself over to its reply queue when done.
class BACnetWsPool
{
public:
    BACnetWsPool() = default;
    /// Waits for the running jobs.
    ~BACnetWsPool();
    BACnetWsPool(const BACnetWsPool&) = delete;
    BACnetWsPool& operator=(const BACnetWsPool&) = delete;

    void start(std::unique_ptr<BACnetWsHandler> job);
    /// Waits until every started job has ended.
    void joinAll();

private:
    Poco::ThreadPool* pool(bool create);

    std::unique_ptr<Poco::ThreadPool> _pBACnetWsThreadPool;
    std::mutex _mutex;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
