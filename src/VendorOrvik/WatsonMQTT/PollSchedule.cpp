#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/PollSchedule.h"

#include <algorithm>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

void PollSchedule::clear()
{
    _publishedPolledProperties.clear();
    _nextPolls.clear();
    _stopped.clear();
    _requests.clear();
}

void PollSchedule::add(const DataPolledProperty& property)
{
    _publishedPolledProperties.push_back(property);
    _nextPolls.emplace_back();
    _stopped.push_back(false);
}

bool PollSchedule::addOnce(const DataPolledProperty& property)
{
    const std::size_t index = indexOf(property.bacnet);
    if (index == _publishedPolledProperties.size())
    {
        add(property);
        return true;
    }
    if (!_stopped[index])
    {
        return false;
    }
    _publishedPolledProperties[index] = property;
    _nextPolls[index].update();
    _stopped[index] = false;
    return true;
}

bool PollSchedule::stop(const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& bacnet)
{
    const std::size_t index = indexOf(bacnet);
    if (index == _publishedPolledProperties.size() || _stopped[index])
    {
        return false;
    }
    _stopped[index] = true;
    return true;
}

std::size_t PollSchedule::indexOf(
    const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& bacnet) const
{
    const auto found =
        std::find_if(_publishedPolledProperties.begin(), _publishedPolledProperties.end(),
                     [&](const DataPolledProperty& polled) { return polled.bacnet == bacnet; });
    return static_cast<std::size_t>(found - _publishedPolledProperties.begin());
}

long PollSchedule::pollDue(long wait, const std::function<void(const DataPolledProperty&, std::size_t)>& poll)
{
    const Poco::Clock now;
    for (std::size_t i = 0; i < _publishedPolledProperties.size(); ++i)
    {
        const DataPolledProperty& polled = _publishedPolledProperties[i];
        if (polled.pollFrequencySeconds == 0 || _stopped[i])
        {
            continue;
        }
        if (now >= _nextPolls[i])
        {
            poll(polled, i);
            _nextPolls[i] = now;
            _nextPolls[i] += static_cast<Poco::Clock::ClockDiff>(polled.pollFrequencySeconds) * 1000000;
        }
        const Poco::Clock::ClockDiff untilDue = (_nextPolls[i] - now) / 1000 + 1;
        wait = static_cast<long>(std::min<Poco::Clock::ClockDiff>(wait, untilDue));
    }
    return wait;
}

const DataPolledProperty* PollSchedule::answered(Poco::UInt32 requestId)
{
    const auto found = _requests.find(requestId);
    if (found == _requests.end())
    {
        return nullptr;
    }
    const std::size_t index = found->second;
    _requests.erase(found);
    return &_publishedPolledProperties[index];
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
