#pragma once

#include "Orvik_BACnetClient/DataObjectKey.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/ServiceHelper.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/ObjectIdentities.h"

#include <Poco/Clock.h>
#include <Poco/Types.h>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// How a bridge subscribes for changes of value and when it renews: every half lifetime (at least a
/// second); a lifetime of 0 subscribes without time limit and is never renewed. All subscriptions of a
/// bridge share one subscriber process identifier, taken at the first subscription. Used by the app's
/// thread only.
class CovSubscriptions
{
public:
    /// The longest single wait: keeps millisecond counts within 32 bits on the 32-bit controller.
    static constexpr long _MAX_WAIT_MS = 3600000;

    /// `parameters`: the bridge's (unconfirmed notifications, lifetime); kept by the caller.
    explicit CovSubscriptions(Orvik::BACnet::Client::NotificationRequestSubscribeCOV::Parameters& parameters);

    /// Subscribes (or with `cancel` cancels) the object's property on `helper`'s queue. Throws
    /// Poco::InvalidAccessException "No valid COV subscriptoin process identifier possible" when the
    /// process has no identifier left.
    void subscribe(Orvik::BACnet::Client::ServiceHelper& helper,
                   const Orvik::BACnet::Client::DataObjectKey& object, BACNET_PROPERTY_ID property,
                   bool cancel);

    /// Subscribes again (or with `cancel` cancels) every object `objects` follows by COV; a renewal makes
    /// the next one due a half lifetime from now.
    void renewAll(Orvik::BACnet::Client::ServiceHelper& helper, const ObjectIdentities& objects, bool cancel);

    bool renewalDue() const;
    /// The renewal is next due a half lifetime from now.
    void renewed() { _renewalClock.update(); }
    /// How long to wait for the next renewal at most (ms; for a lifetime of 0 the default's half).
    long renewalWaitMs() const;

private:
    Orvik::BACnet::Client::NotificationRequestSubscribeCOV::Parameters& _parameters;
    Poco::Clock _renewalClock;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
