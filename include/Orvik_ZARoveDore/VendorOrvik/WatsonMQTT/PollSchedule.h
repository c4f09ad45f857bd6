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
/// which outstanding request reads which. A property with a poll rate of 0 is never read. Used by
/// the app's thread only.
class PollSchedule
{
public:
    void clear();
    /// Adds a property; its first reading is due at once.
    void add(const DataPolledProperty& property);

    /// Calls `poll` for every property that is due and schedules its next reading a poll rate from
    /// now. Returns `wait` (ms), shortened to the time until the next reading is due.
    long pollDue(long wait, const std::function<void(const DataPolledProperty&, std::size_t)>& poll);

    /// Remembers that request `requestId` reads property number `index` (as passed to `poll`).
    void expect(Poco::UInt32 requestId, std::size_t index) { _requests[requestId] = index; }
    /// The property that request `requestId` reads, and forgets the request; null when no reading
    /// has that request id.
    const DataPolledProperty* answered(Poco::UInt32 requestId);

private:
    std::vector<DataPolledProperty> _publishedPolledProperties;
    /// Next reading of each property.
    std::vector<Poco::Clock> _nextPolls;
    /// Outstanding requests: request id -> index into _publishedPolledProperties.
    std::map<Poco::UInt32, std::size_t> _requests;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
