#pragma once

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/NetworkListener.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::BACnet::Client::Test
{

/// A NetworkListener that keeps everything a network reports, for tests that check a network directly.
/// It counts the replies of each transaction, so a test can tell "ended exactly once". Below it, what the
/// network tests read from a reply.
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
    void onCOVNotification(const DataResponseCOV& cov) override
    {
        record([&] { notifications.push_back(cov); });
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

    /// The first reply of the transaction, waited for; without one in the wait the test fails and gets a
    /// communication error.
    NetworkReply firstReply(Poco::UInt32 transactionId)
    {
        if (waitForReply(transactionId))
            return repliesOf(transactionId).at(0);
        ADD_FAILURE() << "no reply to transaction " << transactionId;
        return NetworkReply(DataError(ERROR_CLASS_COMMUNICATION, ERROR_CODE_OTHER));
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

/// The object-name of a device's own object, the property the network tests read.
inline DataPropertyKey objectNameOf(Poco::UInt32 device)
{
    return DataPropertyKey(device, DataType::ObjectIdentifier(OBJECT_DEVICE, device),
                           DataPropertyRef(PROP_OBJECT_NAME));
}

/// The text a reply carries, or "(no value)".
inline std::string nameIn(const NetworkReply& reply)
{
    const auto* pValue = std::get_if<ValueContainer>(&reply.payload);
    return pValue == nullptr ? "(no value)" : pValue->getCharString();
}

/// The error a reply carries, or no error.
inline DataError errorIn(const NetworkReply& reply)
{
    const auto* pError = std::get_if<DataError>(&reply.payload);
    return pError == nullptr ? DataError() : *pError;
}

}  // namespace Orvik::BACnet::Client::Test
