#include "Orvik_ZARoveDore/VendorOrvik/WatsonMQTT/DataSetupParams.h"

namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
{

DataSetupParams::DataSetupParams()
{
    covParams.subscriberProcessIdentifier = 0;
    covParams.cancelation = false;
    covParams.confirmedNotification = false;
    covParams.lifetime = _DEFAULT_LIFETIME_SECONDS;
    covParams.covIncrementPresent = false;
}

}  // namespace Orvik::BACnet::App::VendorOrvik::WatsonMQTT
