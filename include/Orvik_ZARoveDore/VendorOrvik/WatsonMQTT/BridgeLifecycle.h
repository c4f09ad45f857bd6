#pragma once

#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CovSubscriptions.h"

#include <Poco/Clock.h>

#include <atomic>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// Where a bridge is in its life, and the stop every bridge takes the same way. It only moves forward:
/// running; then, at the stop request, stopping (no new connections, readings or subscriptions; the
/// next renewal pass cancels the COV subscriptions); then draining, until the app's queue has been
/// quiet or the drain has lasted its limit. isStopping() may be asked from any thread; everything else
/// from the app's thread.
class BridgeLifecycle
{
public:
    bool isStopping() const { return _state != State::Running; }
    void stopRequested();

    /// True when the subscriptions are due for renewal while running, or for their cancellation after
    /// the stop request.
    bool renewalDue(const CovSubscriptions& subscriptions) const;
    /// Renews every subscription of `objects` or, after the stop request, cancels them and starts the
    /// drain. True when it renewed.
    bool renew(CovSubscriptions& subscriptions, Orvik::BACnet::Client::ServiceHelper& helper,
               const ObjectIdentities& objects);
    /// Draining for longer than `limitMs`: a device that goes on sending after the cancellation must not
    /// keep the app from ending.
    bool drainOutlasted(long limitMs) const;

private:
    enum class State
    {
        Running,
        StopRequested,
        Draining
    };

    std::atomic<State> _state{State::Running};
    Poco::Clock _drainClock;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
