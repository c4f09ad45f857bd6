#pragma once

#include <string>

#include "Orvik_ZARoveDore/AppBase.h"

namespace Orvik::BACnet::App::VendorOrvik::FerroManager
{

/// The frame of the peripheral manager (app number 501): checks that it has at least four
/// parameters (else Poco::InvalidArgumentException "To few App parameters"), then takes the host's
/// peripheral notifications (Orvik::Peripherals::NotificationBrindle) and app requests
/// (NotificationAppRequest), which have no effect yet, until the stop request. Never asks for a
/// restart.
class AppFerroManager : public AppBase
{
public:
    explicit AppFerroManager(Poco::Int32 idAppInstance);
    ~AppFerroManager() override;

    bool descRun() override;

    /// "AppFerroManager " (with the trailing blank).
    const std::string& appName() const;
};

}  // namespace Orvik::BACnet::App::VendorOrvik::FerroManager
