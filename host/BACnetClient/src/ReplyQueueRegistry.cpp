#include "ReplyQueueRegistry.h"

namespace Orvik::BACnet::Client
{

std::mutex& ReplyQueueRegistry::mutex()
{
    static std::mutex m;
    return m;
}

std::unordered_map<Poco::UInt64, Poco::NotificationQueue*>& ReplyQueueRegistry::queues()
{
    static std::unordered_map<Poco::UInt64, Poco::NotificationQueue*> q;
    return q;
}

Poco::UInt64 ReplyQueueRegistry::open(Poco::NotificationQueue* pQueue)
{
    static Poco::UInt64 lastTicket = 0;
    std::lock_guard<std::mutex> lock(mutex());
    queues()[++lastTicket] = pQueue;
    return lastTicket;
}

void ReplyQueueRegistry::close(Poco::UInt64 ticket)
{
    std::lock_guard<std::mutex> lock(mutex());
    queues().erase(ticket);
}

bool ReplyQueueRegistry::post(Poco::UInt64 ticket, const Poco::AutoPtr<Poco::Notification>& pNf)
{
    std::lock_guard<std::mutex> lock(mutex());
    auto it = queues().find(ticket);
    if (it == queues().end() || it->second == nullptr)
        return false;
    it->second->enqueueNotification(pNf);
    return true;
}

}  // namespace Orvik::BACnet::Client
