#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/ParallelSearch.h"

#include <Poco/Thread.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "Orvik_Utility/Notification.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

namespace
{

/// A lane's stack: a search's calls are shallow, and a hundred lanes of the default 8 MB would take a
/// third of a 32-bit controller's address space.
const int LANE_STACK_BYTES = 512 * 1024;

/// One thread with its reply queue and the services that wait on it (destroyed before the queue).
struct Lane
{
    explicit Lane(Poco::NotificationQueue& clientQueue) : services(&clientQueue, &replies)
    {
        thread.setStackSize(LANE_STACK_BYTES);
    }

    Poco::NotificationQueue replies;
    Client::ServiceHelper services;
    Poco::Thread thread;
};

}  // namespace

ParallelSearch::ParallelSearch(Poco::NotificationQueue& clientQueue, std::size_t lanes, KeepAlive keepAlive,
                               long keepAliveMs)
    : _clientQueue(clientQueue),
      _lanes(std::max<std::size_t>(lanes, 1)),
      _keepAlive(std::move(keepAlive)),
      _keepAliveMs(keepAliveMs)
{
}

bool ParallelSearch::run(std::size_t count, const Search& search)
{
    std::mutex mutex;
    std::condition_variable laneEnded;
    std::size_t next = 0;
    std::size_t lanesEnded = 0;
    bool stopping = false;
    std::exception_ptr pFailure;

    const std::size_t laneCount = std::min(_lanes, count);
    std::vector<std::unique_ptr<Lane>> lanes;
    for (std::size_t i = 0; i < laneCount; ++i)
    {
        lanes.push_back(std::make_unique<Lane>(_clientQueue));
        Lane& lane = *lanes.back();
        lane.thread.startFunc(
            [&]
            {
                std::unique_lock<std::mutex> lock(mutex);
                while (!stopping && next < count && !pFailure)
                {
                    const std::size_t index = next++;
                    lock.unlock();
                    try
                    {
                        search(index, lane.services);
                    }
                    catch (...)
                    {
                        lock.lock();
                        pFailure = std::current_exception();
                        continue;
                    }
                    lock.lock();
                }
                ++lanesEnded;
                laneEnded.notify_all();
            });
    }

    const auto stopLanes = [&]
    {
        stopping = true;
        for (const auto& pLane : lanes)
        {
            pLane->replies.enqueueNotification(
                new Utility::Notification(Utility::Notification::STOP_RUNNING));
        }
    };
    std::unique_lock<std::mutex> lock(mutex);
    while (!laneEnded.wait_for(lock, std::chrono::milliseconds(_keepAliveMs),
                               [&] { return lanesEnded == laneCount; }))
    {
        lock.unlock();
        bool stop = false;
        std::exception_ptr pKeepAliveFailure;
        try
        {
            stop = !stopping && _keepAlive();
        }
        catch (...)
        {
            // The lanes end before the failure goes on: a thread left running would end the process.
            pKeepAliveFailure = std::current_exception();
        }
        lock.lock();
        if (pKeepAliveFailure && !pFailure)
        {
            pFailure = pKeepAliveFailure;
        }
        if ((stop || pKeepAliveFailure) && !stopping)
        {
            stopLanes();
        }
    }
    lock.unlock();
    for (const auto& pLane : lanes)
    {
        pLane->thread.join();
    }
    if (pFailure)
    {
        std::rethrow_exception(pFailure);
    }
    return !stopping;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
