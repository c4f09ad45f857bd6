#pragma once

#include <Poco/Notification.h>

#include <functional>

namespace Orvik::BACnet::Client::Simulation
{

/// A piece of work for the simulated site's thread; an empty one ends the thread.
class SiteTask : public Poco::Notification
{
public:
    explicit SiteTask(std::function<void()> work = nullptr) : _work(std::move(work)) {}

    bool isStop() const { return !_work; }
    void run() const { _work(); }

protected:
    ~SiteTask() override = default;

private:
    const std::function<void()> _work;
};

}  // namespace Orvik::BACnet::Client::Simulation
