#pragma once

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataPolledProperty.h"

#include <Poco/Clock.h>
#include <Poco/Types.h>

#include <functional>
#include <map>
#include <vector>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// The values the bridge reads because their objects cannot report changes: when each is due, and
/// which outstanding request reads which. A property with a poll rate of 0 is never read; a stopped
/// one is not read until it is added again. Used by the app's thread only.
class PollSchedule
{
public:
    void clear();
    /// Adds a property; its first reading is due at once.
    void add(const DataPolledProperty& property);
    /// Adds a property unless one with its reference is there, or resumes that one when it is stopped; its
    /// first reading is due at once. False when it is read already, which leaves its schedule as it is.
    bool addOnce(const DataPolledProperty& property);
    /// The property is read no more until it is added again; a reading on its way is still answered.
    /// False when it was not being read.
    bool stop(const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& bacnet);

    /// Calls `poll` for every property that is due and schedules its next reading a poll rate from
    /// now. Returns `wait` (ms), shortened to the time until the next reading is due.
    long pollDue(long wait, const std::function<void(const DataPolledProperty&, std::size_t)>& poll);

    /// Remembers that request `requestId` reads property number `index` (as passed to `poll`).
    void expect(Poco::UInt32 requestId, std::size_t index) { _requests[requestId] = index; }
    /// The property that request `requestId` reads, and forgets the request; null when no reading
    /// has that request id.
    const DataPolledProperty* answered(Poco::UInt32 requestId);

private:
    /// The property's index; the number of properties when it is not there.
    std::size_t indexOf(const Orvik::BACnet::DataType::BACnetDeviceObjectPropertyReference& bacnet) const;

    std::vector<DataPolledProperty> _publishedPolledProperties;
    /// Next reading of each property.
    std::vector<Poco::Clock> _nextPolls;
    /// Kept rather than erased: the indices of readings on their way stay valid.
    std::vector<bool> _stopped;
    /// Outstanding requests: request id -> index into _publishedPolledProperties.
    std::map<Poco::UInt32, std::size_t> _requests;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
