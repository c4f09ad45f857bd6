#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/BridgeLifecycle.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

void BridgeLifecycle::stopRequested()
{
    if (_state == State::Running)
        _state = State::StopRequested;
}

bool BridgeLifecycle::renewalDue(const CovSubscriptions& subscriptions) const
{
    return (_state == State::Running && subscriptions.renewalDue()) || _state == State::StopRequested;
}

bool BridgeLifecycle::renew(CovSubscriptions& subscriptions, Orvik::BACnet::Client::ServiceHelper& helper,
                            const ObjectIdentities& objects)
{
    const bool cancel = isStopping();
    subscriptions.renewAll(helper, objects, cancel);
    if (cancel)
    {
        _state = State::Draining;
        _drainClock.update();
    }
    return !cancel;
}

bool BridgeLifecycle::drainOutlasted(long limitMs) const
{
    return _state == State::Draining &&
           _drainClock.isElapsed(static_cast<Poco::Clock::ClockDiff>(limitMs) * 1000);
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
