#pragma once

#include "Orvik_Utility/Hardware/TeskGPIO.h"

#include <Poco/Types.h>

namespace Orvik::Utility::Watchdog
{

/// One way for the watchdog to bring the controller down or reset it, with its
/// timing and GPIO lines. A plain value: it keeps every setting it is given, so
/// that the watchdog service that later runs the method reads them
/// (getHeartbeatMs() ...). Nothing here touches hardware.
///
/// Type numbers are those stored in ap_watchdog_shutdown_method.type.
class ShutdownMethod
{
public:
    enum Type
    {
        DISABLED = 0,
        SOFTWARE = 1,
        HARDWARE = 2,
        HARD_RESET = 3,
        COLD_BOOT = 4,
        DEAMON_SHUTDOWN = 5
    };

    /// A GPIO line number meaning "no line".
    static constexpr Poco::Int32 _NO_GPIO = -1;

    explicit ShutdownMethod(Type aType);

    /// The type for a stored number; Poco::DataFormatException for a number that
    /// names no type.
    static Type typeFromInt(Poco::Int32 number);

    void setHeartbeatMs(Poco::Int32 heartbeatMs) { _heartbeatMs = heartbeatMs; }
    void setTimeoutShutDownFailedMs(Poco::Int32 timeoutMs) { _timeoutShutDownFailedMs = timeoutMs; }
    void setGpioHeartbeat(Poco::Int32 gpio) { _gpioHeartbeat = gpio; }
    void setGpioEnable(Poco::Int32 gpio) { _gpioEnable = gpio; }
    void setGpioActiveState(Hardware::TeskGPIO::BinaryValue state) { _gpioActiveState = state; }

    Poco::Int32 getHeartbeatMs() const { return _heartbeatMs; }
    Poco::Int32 getTimeoutShutDownFailedMs() const { return _timeoutShutDownFailedMs; }
    Poco::Int32 getGpioHeartbeat() const { return _gpioHeartbeat; }
    Poco::Int32 getGpioEnable() const { return _gpioEnable; }
    Hardware::TeskGPIO::BinaryValue getGpioActiveState() const { return _gpioActiveState; }

    Type type;

private:
    Poco::Int32 _heartbeatMs = 0;
    Poco::Int32 _timeoutShutDownFailedMs = 0;
    Poco::Int32 _gpioHeartbeat = _NO_GPIO;
    Poco::Int32 _gpioEnable = _NO_GPIO;
    Hardware::TeskGPIO::BinaryValue _gpioActiveState = Hardware::TeskGPIO::BV_ACTIVE;
};

}  // namespace Orvik::Utility::Watchdog
