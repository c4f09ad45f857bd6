#pragma once

#include <string>

#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Demonstration and stress app (app number 3): drives binary properties ("relays", typically the
/// present value of binary outputs) on and off by WriteProperty, each on a timer of its own: on for
/// 1 s, off for a random time below 20 ms, at priority 9. The next state of the relays is written
/// only after an answer to the previous writes has arrived, so the pace follows the network. Runs
/// until the stop request; never asks for a restart.
///
/// Parameters: groups of five values from the start of the list, one per relay: enabled (boolean;
/// a disabled group is skipped), the property (device object property reference), the priority of
/// the relay's first write (which writes it inactive), an unused number, and the bound of the random
/// start delay in seconds. An incomplete group at the end is not used. Fewer than four values, or a
/// group that cannot be read: "Errors in Crazy Relay Parameters" on standard error; the app ends
/// when no relay was set up, otherwise it goes on with the relays set up so far.
///
/// A refused write prints "AppToggleBinaryOutput " and the error on standard error; toggling goes
/// on. Waits are at least 10 ms, so the app never spins.
class AppToggleBinaryOutput : public AppBase
{
public:
    /// Fixed timing of every relay.
    static constexpr Poco::UInt32 _WRITE_PRIORITY = 9;
    static constexpr Poco::UInt32 _ON_TIME_MS = 1000;
    static constexpr Poco::UInt32 _MAX_OFF_TIME_MS = 20;
    /// The shortest wait for an answer or a relay, in milliseconds.
    static constexpr long _MIN_WAIT_MS = 10;

    explicit AppToggleBinaryOutput(Poco::Int32 idAppInstance);

    bool descRun() override;

    /// "AppToggleBinaryOutput " (with the trailing blank).
    const std::string& appName() const;

private:
    /// An answer to the last writes has arrived.
    bool _ackReceived = true;
};

}  // namespace Orvik::BACnet::App
