#pragma once

#include "Orvik_BACnetClient/Network.h"

#include <Poco/Exception.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace Orvik::BACnet::Client::Test
{

/// A Network that the test scripts step by step, for tests of what sits above the seam (the client
/// worker). It keeps no transaction state of its own: it records every call and leaves each transaction
/// open until the test ends it with reply() (or never, to play a network that fails to end one). It
/// delivers I-Ams when the test says, and can refuse sends (the send throws) or its opening.
class ScriptedNetwork : public Network
{
public:
    /// A call of the worker: the service ("RP", "RPM", "RR", "WP", "SubscribeCOV", "WhoIs", "end") and
    /// the transaction it names (0 for a Who-Is).
    struct Call
    {
        std::string service;
        Poco::UInt32 transactionId = 0;
    };

    std::atomic<bool> refuseSends{false};
    std::atomic<bool> refuseOpen{false};

    void open(NetworkListener& listener) override
    {
        if (refuseOpen)
            throw Poco::IOException("The scripted network's address is taken");
        std::lock_guard<std::mutex> lock(_mutex);
        _pListener = &listener;
    }
    void close() override
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _pListener = nullptr;
        _closed = true;
        _changed.notify_all();
    }

    void sendWhoIs(const DataType::BACnetAddress&, Poco::UInt32, Poco::UInt32) override { take("WhoIs", 0); }
    void sendReadProperty(Poco::UInt32 id, const DataPropertyKey&) override { take("RP", id); }
    void sendReadPropertyMultiple(Poco::UInt32 id, Poco::UInt32,
                                  const std::vector<NotificationRequestRPM::Parameter>&) override
    {
        take("RPM", id);
    }
    void sendReadRange(Poco::UInt32 id, const DataPropertyKey&, const ReadRange::Range&) override
    {
        take("RR", id);
    }
    void sendWriteProperty(Poco::UInt32 id, const DataPropertyKey&, Poco::UInt32,
                           const ValueContainer&) override
    {
        take("WP", id);
    }
    void sendSubscribeCOV(Poco::UInt32 id, const DataPropertyKey&,
                          const NotificationRequestSubscribeCOV::Parameters&) override
    {
        take("SubscribeCOV", id);
    }
    void endTransaction(Poco::UInt32 id) override { record(Call{"end", id}); }

    /// Reports the end of a transaction (or anything else) to the listener, as the network's own thread
    /// would.
    void reply(Poco::UInt32 transactionId, NetworkReply aReply)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pListener != nullptr)
            _pListener->onReply(transactionId, std::move(aReply));
    }
    /// Reports a transaction waiting in the network's queue, or gone out of it.
    void queue(Poco::UInt32 transactionId, bool waiting)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        if (_pListener != nullptr)
            _pListener->onQueueing(transactionId, waiting);
    }

    /// Waits up to 10 s of real time until `count` calls were made; returns the calls so far.
    std::vector<Call> waitForCalls(std::size_t count)
    {
        std::unique_lock<std::mutex> lock(_mutex);
        _changed.wait_for(lock, std::chrono::seconds(10), [&] { return _calls.size() >= count; });
        return _calls;
    }

    /// Waits up to 10 s until the network is closed.
    bool waitForClose()
    {
        std::unique_lock<std::mutex> lock(_mutex);
        return _changed.wait_for(lock, std::chrono::seconds(10), [&] { return _closed; });
    }

private:
    void take(const std::string& service, Poco::UInt32 transactionId)
    {
        if (refuseSends)
            throw Poco::IOException("The scripted network refuses " + service);
        record(Call{service, transactionId});
    }

    void record(const Call& call)
    {
        std::lock_guard<std::mutex> lock(_mutex);
        _calls.push_back(call);
        _changed.notify_all();
    }

    std::mutex _mutex;
    std::condition_variable _changed;
    NetworkListener* _pListener = nullptr;
    bool _closed = false;
    std::vector<Call> _calls;
};

}  // namespace Orvik::BACnet::Client::Test
