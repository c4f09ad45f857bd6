#pragma once

#include <string>

#include "Orvik_BACnetClient/DataResponseWhoIs.h"
#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App
{

/// Diagnostic app (app number 2): sends one Who-Is for a range of device instances to one address
/// and prints every I-Am on standard output until the client reports the end of the answer window
/// ("AppWhoIs  FINISHED "). Any other error ends it too, printed on standard error.
///
/// Parameters, by position: 0 the destination's network number (low 16 bits), 1 its MAC as text,
/// 2 and 3 the low and high limit of the device instance range. Fewer than four:
/// Poco::InvalidArgumentException "To few App parameters", and nothing is sent.
///
/// Never asks for a restart. A stop request ends it without further output.
class AppWhoIs : public AppBase
{
public:
    explicit AppWhoIs(Poco::Int32 idAppInstance);

    bool descRun() override;

    /// "Received I-Am Request from device: <instance> with vendor ID: <vendor>, Network = <network>,
    /// MAC = <mac>"
    void printResponse(const Orvik::BACnet::Client::DataResponseWhoIs& response) const;

    /// "AppWhoIs " (with the trailing blank).
    const std::string& appName() const;

private:
    void sendWhoIs();
    void printEnd(const DataError& error) const;
};

}  // namespace Orvik::BACnet::App
