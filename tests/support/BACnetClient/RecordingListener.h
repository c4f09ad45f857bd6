#pragma once

#include "Orvik_BACnetClient/NetworkListener.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

namespace Orvik::BACnet::Client::Test
{

/// A NetworkListener that keeps everything a network reports, for tests that check a network directly.
/// It counts the replies of each transaction, so a test can tell "ended exactly once".
class RecordingListener : public NetworkListener
{
public:
    void onReply(Poco::UInt32 transactionId, NetworkReply reply) override
    {
        record([&] { replies[transactionId].push_back(std::move(reply)); });
    }
    void onIAm(const DataResponseWhoIs& iAm) override
    {
        record([&] { iAms.push_back(iAm); });
    }
    void onCOVNotification(const DataResponseCOV& notification) override
    {
        record([&] { notifications.push_back(notification); });
    }

    /// Waits up to `timeoutMs` of real time until `done` holds (read under the lock); returns it.
    bool waitUntil(const std::function<bool()>& done, long timeoutMs = 10000)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return _changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }

    /// Waits until the transaction has ended; false when it did not within the wait.
    bool waitForReply(Poco::UInt32 transactionId, long timeoutMs = 10000)
    {
        return waitUntil([&] { return replies.count(transactionId) > 0; }, timeoutMs);
    }

    /// The replies of the transaction so far (a copy, taken under the lock).
    std::vector<NetworkReply> repliesOf(Poco::UInt32 transactionId)
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = replies.find(transactionId);
        return it == replies.end() ? std::vector<NetworkReply>() : it->second;
    }

    /// Transactions ended so far.
    std::size_t replyCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return replies.size();
    }

    std::mutex mutex;
    std::map<Poco::UInt32, std::vector<NetworkReply>> replies;
    std::vector<DataResponseWhoIs> iAms;
    std::vector<DataResponseCOV> notifications;

private:
    void record(const std::function<void()>& change)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            change();
        }
        _changed.notify_all();
    }

    std::condition_variable _changed;
};

}  // namespace Orvik::BACnet::Client::Test
