#pragma once

#include <Poco/Types.h>

#include <string>
#include <vector>

#include "Orvik_BACnetClient/DataPropertyKey.h"
#include "Orvik_BACnetClient/DataResponseCOV.h"
#include "Orvik_BACnetClient/NotificationRequestSubscribeCOV.h"
#include "Orvik_BACnetClient/NotificationResponseObjectAccess.h"
#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Demonstration app (app number 8): subscribes to the change-of-value notifications of a list of
/// objects, renews the subscriptions at half their lifetime, prints acknowledgements and refusals on
/// the console, and shows the latest values of a fixed demonstration (two temperatures, a pulse count
/// and a door) on the controller's small display through the display demo scripts. On a stop request
/// it cancels its subscriptions and puts the display back to its network view. Never asks for a
/// restart.
///
/// Parameters, by position: 0 confirmed notifications (boolean), 1 lifetime in seconds, 2 COV
/// increment (NULL: none), 3 the objects (a list of device object references; each is subscribed as a
/// whole object). Fewer than four: Poco::InvalidArgumentException "To few App parameters".
///
/// Renewal: every lifetime / 2 seconds, computed in 64 bits; a lifetime of 0 subscribes without time
/// limit and is never renewed; a short lifetime renews at most once per second, never on every
/// notification. Stopping: the cancellations are resent on every pass until an acknowledgement
/// arrives, for at most the cancel time-out (_CANCEL_TIMEOUT_MS unless given), so that a device that never
/// answers cannot keep the app alive; with no objects the app ends at once.
///
/// The display scripts run without a shell (ProgramRunner), with exactly the arguments a shell would
/// have given them; their result is not used. The display state is shared by all instances of the app
/// for the life of the process, behind a mutex.
class AppSubscribeCOV : public AppBase
{
public:
    using Parameters = Client::NotificationRequestSubscribeCOV::Parameters;

    /// The display scripts: this prefix, then the script name and its arguments.
    const std::string _displayPythonPath = "sudo python /Adafruit_Python_SSD1306/examples/DEMO/";
    /// The longest wait for a notification, in milliseconds.
    const Poco::UInt32 _displayTimeout = 2500;
    /// The shortest renewal period, in microseconds.
    static constexpr Poco::Int64 _MIN_RENEWAL_US = 1000000;
    /// How long a stopping app resends its cancellations without acknowledgement.
    static constexpr long _CANCEL_TIMEOUT_MS = 5000;

    /// `cancelTimeoutMs`: how long a stopping app resends its cancellations (test rigs pass a short one).
    explicit AppSubscribeCOV(Poco::Int32 idAppInstance, long cancelTimeoutMs = _CANCEL_TIMEOUT_MS);

    bool descRun() override;

    /// Reads the parameters (see the class comment) and prints "AppSubscribeCOV : properties.size()=<n>".
    void getParameters(Parameters& params, std::vector<Client::DataPropertyKey>& keys);

    /// Updates the display state from one notification (or none: `response` null) and redraws the
    /// display when due: at once for a door change, otherwise when a value changed and the last
    /// redraw is more than 1.5 s ago.
    void printResponse(const Client::DataResponseCOV* response) const;

    /// The acknowledgement of a SubscribeCOV, in green, with the UTC time.
    void printSuccessResponse(Client::NotificationResponsePropertyAccess<int>* ack);
    /// A refused SubscribeCOV, in red, with the error.
    void printErrorResponse(Client::NotificationResponseObjectAccess<DataError>* fail);

    /// "AppSubscribeCOV " (with the trailing blank).
    const std::string& appName() const;

    /// The renewal period in microseconds for a lifetime in seconds: half the lifetime, at least
    /// _MIN_RENEWAL_US; 0 for a lifetime of 0 (no renewal).
    static Poco::Int64 renewalPeriod(Poco::UInt32 lifetime);

    /// The arguments of the value display script after `prefix` (see _displayPythonPath): "cov.py"
    /// and the four labels with their values; the temperatures end in the degree sign (byte 0xB0)
    /// and C.
    static std::vector<std::string> displayCommand(const std::string& prefix, const std::string& intTemp,
                                                   const std::string& roomTemp, const std::string& pulses,
                                                   const std::string& onOff);

private:
    void subscribeAll(const std::vector<Client::DataPropertyKey>& keys, const Parameters& params);
    void showNetworkView() const;

    const long _cancelTimeoutMs;
};

}  // namespace Orvik::BACnet::App
