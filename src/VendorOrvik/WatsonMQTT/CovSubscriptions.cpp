#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/CovSubscriptions.h"

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"

#include <Poco/Exception.h>

#include <algorithm>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

using Orvik::BACnet::Client::DataObjectKey;
using Orvik::BACnet::Client::DataPropertyKey;
using Orvik::BACnet::Client::DataPropertyRef;

CovSubscriptions::CovSubscriptions(
    Orvik::BACnet::Client::NotificationRequestSubscribeCOV::Parameters& parameters)
    : _parameters(parameters)
{
}

void CovSubscriptions::subscribe(Orvik::BACnet::Client::ServiceHelper& helper, const DataObjectKey& object,
                                 BACNET_PROPERTY_ID property, bool cancel)
{
    if (_parameters.subscriberProcessIdentifier == 0)
    {
        _parameters.subscriberProcessIdentifier =
            Orvik::BACnet::Client::ServiceHelper::getNewCOVSubscriberProcessIdentifier();
        if (_parameters.subscriberProcessIdentifier == 0)
        {
            throw Poco::InvalidAccessException("No valid COV subscriptoin process identifier possible");
        }
    }
    _parameters.cancelation = cancel;
    helper.asyncSubscribeCOV(DataPropertyKey(object, DataPropertyRef(property)), _parameters);
}

void CovSubscriptions::renewAll(Orvik::BACnet::Client::ServiceHelper& helper, const ObjectIdentities& objects,
                                bool cancel)
{
    for (const auto& [object, subscriber] : objects.covSubscribers())
        subscribe(helper, object, subscriber.bacnetPropertyIdentifier, cancel);
    if (!cancel)
        renewed();
}

bool CovSubscriptions::renewalDue() const
{
    const Poco::UInt32 lifetime = _parameters.lifetime;
    const Poco::Clock::ClockDiff period =
        static_cast<Poco::Clock::ClockDiff>(std::max<Poco::UInt32>(lifetime / 2, 1)) * 1000000;
    return lifetime != 0 && _renewalClock.isElapsed(period);
}

long CovSubscriptions::renewalWaitMs() const
{
    const Poco::UInt32 lifetime = _parameters.lifetime;
    const Poco::UInt64 halfLifetime = lifetime == 0 ? DataSetupParams::_DEFAULT_LIFETIME_SECONDS / 2
                                                    : std::max<Poco::UInt32>(lifetime / 2, 1);
    return static_cast<long>(std::min<Poco::UInt64>(halfLifetime * 1000, _MAX_WAIT_MS));
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
