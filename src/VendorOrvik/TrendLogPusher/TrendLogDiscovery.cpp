#include "Orvik_ZARoveDore/VendorOrvik/TrendLogPusher/TrendLogDiscovery.h"

#include <Poco/NumberFormatter.h>
#include <Poco/Thread.h>

#include <algorithm>
#include <set>
#include <utility>

#include "Orvik_BACnet/DataType/ObjectIdentifier.h"
#include "Orvik_BACnetClient/DataResponseWhoIs.h"

namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
{

using Client::ServiceHelper;
using DataType::ObjectIdentifier;

namespace
{

const Poco::Int64 _MICROSECONDS_PER_MINUTE = 60000000;
/// The failed devices a report line names; the others are counted.
const std::size_t _NAMED_FAILURES = 5;

}  // namespace

TrendLogDiscovery::TrendLogDiscovery(ServiceHelper& services, std::vector<DataDevice>& devices,
                                     const DataWhichTrendLogs& which, PositionStore& positions,
                                     Poco::UInt32 ownDeviceInstance, std::function<bool()> keepAlive,
                                     std::function<void(const std::string&)> report)
    : _services(services),
      _devices(devices),
      _which(which),
      _positions(positions),
      _ownDeviceInstance(ownDeviceInstance),
      _keepAlive(std::move(keepAlive)),
      _report(std::move(report))
{
}

bool TrendLogDiscovery::isRefreshDue() const
{
    return _which.collectTrendLogs != DataWhichTrendLogs::FROM_PARAMETER_LIST &&
           _which.refreshTrendlLogListIntervalMinutes != 0 && Poco::Clock() > _nextTrendLogCollect;
}

void TrendLogDiscovery::collectTrendLogs()
{
    Poco::Int32 found = 0;
    switch (_which.collectTrendLogs)
    {
        case DataWhichTrendLogs::FROM_PARAMETER_LIST:
            return;
        case DataWhichTrendLogs::FROM_LOCAL_DEVICE:
            found = collectOwnTrendLogs();
            break;
        default:
            found = collectNetworkedTrendLogs();
            break;
    }
    if (found > 0)
    {
        _positions.dbUpdateLastRetrievedTimestamps();
    }
    if (_which.refreshTrendlLogListIntervalMinutes != 0)
    {
        _nextTrendLogCollect.update();
        _nextTrendLogCollect +=
            static_cast<Poco::Int64>(_which.refreshTrendlLogListIntervalMinutes) * _MICROSECONDS_PER_MINUTE;
    }
}

bool TrendLogDiscovery::collectDevice(DataDevice& device)
{
    return DeviceSearch(_services, _which).collectDevice(device);
}

Poco::Int32 TrendLogDiscovery::collectNetworkedTrendLogs()
{
    const Poco::Clock started;
    ParallelSearch lanes(*_services.getQueueBACnetClient(), _limits.devicesAtOnce, _keepAlive,
                         _limits.keepAliveMs);
    std::vector<Client::DataResponseWhoIs> responses;
    if (!findDevices(lanes, responses))
    {
        return -1;
    }
    std::vector<Job> jobs;
    for (const Client::DataResponseWhoIs& response : responses)
    {
        jobs.push_back(jobFor(response.deviceInstance));
    }
    const bool completed =
        lanes.run(jobs.size(),
                  [&jobs, this](std::size_t index, ServiceHelper& services) {
                      jobs[index].outcome =
                          DeviceSearch(services, _which).search(jobs[index].device, jobs[index].isNew);
                  });
    return takeOver(jobs, !completed, started);
}

Poco::Int32 TrendLogDiscovery::collectOwnTrendLogs()
{
    const Poco::Clock started;
    std::vector<Job> jobs{jobFor(_ownDeviceInstance)};
    Job& job = jobs.front();
    job.outcome = DeviceSearch(_services, _which).search(job.device, job.isNew);
    return takeOver(jobs, job.outcome.stopped, started);
}

bool TrendLogDiscovery::findDevices(ParallelSearch& lanes,
                                    std::vector<Client::DataResponseWhoIs>& found) const
{
    // The Who-Is waits out its answer window on a lane too, so that the app answers meanwhile.
    ServiceHelper::SyncReslut result = ServiceHelper::SYNC_RESULT_FAIL;
    const auto askEveryInstance = [&found, &result](std::size_t, ServiceHelper& services)
    {
        // Instance 0 is a device like any other.
        result = services.syncWhoIs(DataType::BACnetAddress(), 0, ObjectIdentifier::_MAX_INSTANCE, found);
    };
    if (!lanes.run(1, askEveryInstance) || result != ServiceHelper::SYNC_RESULT_SUCCESS)
    {
        return false;
    }
    return _limits.devicesPerWhoIs == 0 || found.size() <= _limits.devicesPerWhoIs ||
           findInRanges(lanes, found);
}

bool TrendLogDiscovery::findInRanges(ParallelSearch& lanes,
                                     std::vector<Client::DataResponseWhoIs>& found) const
{
    std::set<Poco::UInt32> known;
    for (const Client::DataResponseWhoIs& response : found)
    {
        known.insert(response.deviceInstance);
    }
    const std::vector<InstanceRange> ranges =
        whoIsRanges(std::vector<Poco::UInt32>(known.begin(), known.end()), _limits.devicesPerWhoIs);
    std::vector<std::vector<Client::DataResponseWhoIs>> answers(ranges.size());
    const long spacingMs = _limits.whoIsSpacingMs;
    const auto askRange = [&ranges, &answers, spacingMs](std::size_t index, ServiceHelper& services)
    {
        Poco::Thread::sleep(static_cast<long>(index) * spacingMs);
        services.syncWhoIs(DataType::BACnetAddress(), ranges[index].first, ranges[index].second,
                           answers[index]);
    };
    if (!lanes.run(ranges.size(), askRange))
    {
        return false;
    }
    // A range whose Who-Is failed loses nothing that the first one found.
    for (const std::vector<Client::DataResponseWhoIs>& rangeAnswers : answers)
    {
        for (const Client::DataResponseWhoIs& response : rangeAnswers)
        {
            if (known.insert(response.deviceInstance).second)
            {
                found.push_back(response);
            }
        }
    }
    return true;
}

std::vector<TrendLogDiscovery::InstanceRange> TrendLogDiscovery::whoIsRanges(
    const std::vector<Poco::UInt32>& instances, std::size_t perRange)
{
    std::vector<InstanceRange> ranges;
    Poco::UInt32 low = 0;
    for (std::size_t first = 0; first < instances.size() && perRange > 0; first += perRange)
    {
        const bool last = first + perRange >= instances.size();
        const Poco::UInt32 high = last ? ObjectIdentifier::_MAX_INSTANCE : instances[first + perRange - 1];
        ranges.emplace_back(low, high);
        low = high + 1;
    }
    return ranges;
}

TrendLogDiscovery::Job TrendLogDiscovery::jobFor(Poco::UInt32 deviceInstance)
{
    const DataDevice* pKnown = _positions.findDevice(deviceInstance);
    return pKnown != nullptr ? Job{*pKnown, false, {}} : Job{DataDevice(deviceInstance), true, {}};
}

Poco::Int32 TrendLogDiscovery::takeOver(std::vector<Job>& jobs, bool stopped, const Poco::Clock& started)
{
    if (!stopped)
    {
        reportSearch(jobs, started);
    }
    // A device that fails is passed over: it must not hide the devices that answered after it. The
    // search still counts as failed (nothing is stored for it).
    Poco::Int32 total = 0;
    bool failed = stopped;
    for (Job& job : jobs)
    {
        failed = failed || job.outcome.found < 0;
        total += std::max(job.outcome.found, 0);
        if (!job.isNew)
        {
            *_positions.findDevice(job.device.deviceInstance) = std::move(job.device);
        }
        else if (job.outcome.found >= 0 && job.outcome.hasTrendLogs)
        {
            _devices.push_back(std::move(job.device));
        }
    }
    return failed ? -1 : total;
}

void TrendLogDiscovery::reportSearch(const std::vector<Job>& jobs, const Poco::Clock& started) const
{
    std::size_t withTrendLogs = 0;
    std::size_t trendLogs = 0;
    std::size_t newTrendLogs = 0;
    std::vector<Poco::UInt32> failures;
    for (const Job& job : jobs)
    {
        if (job.outcome.found < 0)
        {
            failures.push_back(job.device.deviceInstance);
            continue;
        }
        withTrendLogs += job.device.trendLogs.empty() ? 0 : 1;
        trendLogs += job.device.trendLogs.size();
        newTrendLogs += static_cast<std::size_t>(job.outcome.found);
    }
    std::string line = "Search done in " + Poco::NumberFormatter::format(started.elapsed() / 1.0e6, 1) +
                       " s: " + std::to_string(jobs.size()) + " device(s) searched, " +
                       std::to_string(trendLogs) + " trend log(s) in " + std::to_string(withTrendLogs) +
                       " device(s) (" + std::to_string(newTrendLogs) + " new), " +
                       std::to_string(failures.size()) + " device(s) failed";
    for (std::size_t i = 0; i < std::min(failures.size(), _NAMED_FAILURES); ++i)
    {
        line += (i == 0 ? ": device:" : ", device:") + std::to_string(failures[i]);
    }
    if (failures.size() > _NAMED_FAILURES)
    {
        line += " and " + std::to_string(failures.size() - _NAMED_FAILURES) + " more";
    }
    _report(line);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::TrendLogPusher
