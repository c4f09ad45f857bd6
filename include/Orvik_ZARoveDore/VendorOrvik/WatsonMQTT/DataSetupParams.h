#pragma once

#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"

#include <Poco/Types.h>

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

/// How the bridge subscribes for changes of value and how often it reads the values of objects that
/// cannot report changes. Defaults: unconfirmed notifications, a lifetime of 240 s, no COV increment,
/// subscriber process identifier 0 (one is obtained on first use), poll rate 60 s.
class DataSetupParams
{
public:
    static constexpr Poco::UInt32 _DEFAULT_LIFETIME_SECONDS = 240;
    static constexpr Poco::UInt32 _DEFAULT_POLL_RATE_SECONDS = 60;

    DataSetupParams();

    Orvik::BACnet::Client::NotificationRequestSubscribeCOV::Parameters covParams;
    Poco::UInt32 pollRateSeconds = _DEFAULT_POLL_RATE_SECONDS;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
