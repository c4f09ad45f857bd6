#pragma once

#include "Orvik_Utility/Data/TeskDbSession.h"
#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

#include <Poco/Types.h>

#include <vector>

namespace Orvik::Utility::Watchdog
{

/// What the host's watchdog service runs with: its period, the time its
/// subscribers (the supervised workers) have to answer, the database session it
/// reports to (not owned) and its shutdown methods in the order they are tried.
class Parameters
{
public:
    Parameters(Poco::UInt32 aFrequencySec, Poco::UInt32 aSubscribersTimeoutSec,
               Data::TeskDbSession* aPDbSession);

    void addShutdownMethod(const ShutdownMethod& method) { _shutdownMethods.push_back(method); }
    const std::vector<ShutdownMethod>& getShutdownMethods() const { return _shutdownMethods; }

    Poco::UInt32 frequencySec;
    Poco::UInt32 subscribersTimeoutSec;
    Data::TeskDbSession* pDbSession;

private:
    std::vector<ShutdownMethod> _shutdownMethods;
};

}  // namespace Orvik::Utility::Watchdog
