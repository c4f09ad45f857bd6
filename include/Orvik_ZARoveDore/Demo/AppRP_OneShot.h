#pragma once

#include <string>

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Diagnostic app (app number 1): one ReadProperty of the property its parameters name, printed on
/// the console. It waits 3 s after its start, reads, prints and ends; it never asks for a restart.
///
/// Parameters, by position (the client's DataPropertyKey(parameters, 0)): device instance, object
/// type, object instance, property identifier, optional array index. A list that does not make a
/// key ends the app with the key's Poco::InvalidArgumentException (logged by the app base).
///
/// Output: the value on standard output, a failed read's error on standard error. A stop request
/// during the read ends the app without output.
class AppRP_OneShot : public AppBase
{
public:
    /// Milliseconds between the app's start and its read, by default.
    static constexpr long _START_DELAY_MS = 3000;

    /// `startDelayMs`: the pause before the read (test rigs pass a short one).
    explicit AppRP_OneShot(Poco::Int32 idAppInstance, long startDelayMs = _START_DELAY_MS);

    bool descRun() override;

    /// "\nAppRP_OneShot, Device <instance>:", the object and property headers, then the value
    /// (standard output) or the error (standard error); exactly one of `value` and `error` is given.
    /// The property header always shows the whole property (ALL for an array or list).
    void printResult(const Client::DataPropertyKey& key, const ValueContainer* value,
                     const DataError* error) const;

    /// "AppRP_OneShot".
    const std::string& appName() const;

private:
    const long _startDelayMs;
};

}  // namespace Orvik::BACnet::App
