#pragma once

#include <string>
#include <vector>

#include "Orvik_BACnetClient/DataResponseRPM.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Diagnostic app (app number 4): one ReadPropertyMultiple of every property of trend log 22 in
/// device 266771, printed on the console. Reads no parameters; never asks for a restart.
///
/// Output: "RPM REQUEST SENT!", then the properties' values on standard output and the errors of
/// single properties on standard error, in the order of the answer. A failed request prints its
/// error on standard error; a stop request during the read ends the app without output.
class AppRPM : public AppBase
{
public:
    /// The device read.
    static constexpr Poco::UInt32 _DEVICE_INSTANCE = 266771;
    /// The trend log read in that device.
    static constexpr Poco::UInt32 _TREND_LOG_INSTANCE = 22;

    explicit AppRPM(Poco::Int32 idAppInstance);

    bool descRun() override;

    /// "\nAppRPM, Device: <instance>", then per object its header and per property its header and
    /// value (or error on standard error).
    void printResult(Poco::UInt32 deviceInstance,
                     const std::vector<Client::DataResponseRPM>& responses) const;

    /// "AppRPM".
    const std::string& appName() const;
};

}  // namespace Orvik::BACnet::App
