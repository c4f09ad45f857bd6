#pragma once

#include <Poco/AutoPtr.h>
#include <Poco/Notification.h>
#include <Poco/NotificationQueue.h>
#include <Poco/Types.h>

#include <mutex>
#include <unordered_map>

namespace Orvik::BACnet::Client
{

/// The reply queues that may still receive replies.
///
/// A reply can arrive long after its request was sent: a silent device answers only through the
/// client's time-out, a COV notification comes whenever a value changes. By then the app that asked
/// may have been stopped and deleted together with its queue. So a requester opens a ticket for its
/// queue before it sends anything and closes the ticket before the queue goes away; replies are
/// posted only through post(), under the same lock, and a closed ticket swallows them.
///
/// Tickets are never reused, so a new queue at the address of a deleted one cannot receive the
/// replies meant for its predecessor.
class ReplyQueueRegistry
{
public:
    /// A new ticket (never 0) for `pQueue`.
    static Poco::UInt64 open(Poco::NotificationQueue* pQueue);

    /// After this returns, nothing is posted for `ticket` any more.
    static void close(Poco::UInt64 ticket);

    /// Posts `pNf` to the ticket's queue. False when the ticket is closed (or 0): nothing was posted.
    static bool post(Poco::UInt64 ticket, const Poco::AutoPtr<Poco::Notification>& pNf);

private:
    static std::mutex& mutex();
    static std::unordered_map<Poco::UInt64, Poco::NotificationQueue*>& queues();
};

}  // namespace Orvik::BACnet::Client
