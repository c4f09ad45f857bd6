#include "Orvik_Utility/Watchdog/Parameters.h"

namespace Orvik::Utility::Watchdog
{

Parameters::Parameters(Poco::UInt32 aFrequencySec, Poco::UInt32 aSubscribersTimeoutSec,
                       Data::TeskDbSession* aPDbSession)
    : frequencySec(aFrequencySec), subscribersTimeoutSec(aSubscribersTimeoutSec), pDbSession(aPDbSession)
{
}

}  // namespace Orvik::Utility::Watchdog
