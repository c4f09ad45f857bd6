#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsPool.h"

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BACnetWsHandler.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

BACnetWsPool::~BACnetWsPool()
{
    joinAll();
}

void BACnetWsPool::start(std::unique_ptr<BACnetWsHandler> job)
{
    pool(true)->startWithPriority(Poco::Thread::PRIO_LOWEST, *job);
    // Running now: the job hands itself to its reply queue when it is done.
    job.release();
}

void BACnetWsPool::joinAll()
{
    if (Poco::ThreadPool* pPool = pool(false))
    {
        pPool->joinAll();
    }
}

Poco::ThreadPool* BACnetWsPool::pool(bool create)
{
    // Only creation needs the lock: the pool lives as long as this object and is thread-safe itself.
    std::lock_guard<std::mutex> lock(_mutex);
    if (!_pBACnetWsThreadPool && create)
    {
        _pBACnetWsThreadPool = std::make_unique<Poco::ThreadPool>(1, 16, 60);
    }
    return _pBACnetWsThreadPool.get();
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
