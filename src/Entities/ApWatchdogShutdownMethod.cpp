#include "Orvik_ZARoveDore/Entities/ApWatchdogShutdownMethod.h"

#include "Orvik_ZARoveDore/Entities/ApWatchdog.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

namespace Orvik::Apps::Entity
{

using Orvik::Utility::Hardware::TeskGPIO;
using Orvik::Utility::Watchdog::ShutdownMethod;

const Ap::ColNames ApWatchdogShutdownMethod::_colNames{&Names::ID_AP_WATCHDOG_SHUTDOWN_METHOD,
                                                       &Names::ID_AP_WATCHDOG,
                                                       &Names::ORDER,
                                                       &Names::TYPE,
                                                       &Names::HEARTBEAT_MS,
                                                       &Names::TIMOUT_SHUTDOWN_FAIL_MS,
                                                       &Names::GPIO_HEARTBEAT_HARD_RESET,
                                                       &Names::GPIO_ENABLE_HARD_RESET,
                                                       &Names::GPIO_ACTIVE_STATE};

ApWatchdogShutdownMethod::ApWatchdogShutdownMethod(bool setAsNew) : Ap(setAsNew)
{
    setColCount(_colNames.size());
}

const std::string& ApWatchdogShutdownMethod::getTableName() const
{
    return Names::AP_WATCHDOG_SHUTDOWN_METHOD;
}

const Ap::ColNames& ApWatchdogShutdownMethod::getColNames() const
{
    return _colNames;
}

void ApWatchdogShutdownMethod::setPK(Poco::Int32 pk, bool updateStatus)
{
    setPK2(pk, updateStatus);
}

Poco::Int32 ApWatchdogShutdownMethod::retrieve(Poco::Int32 id, EntityServer& es)
{
    return retrieveByKey(*this, id, es);
}

ApWatchdog* ApWatchdogShutdownMethod::retrieveApWatchdog()
{
    return retrieveParent(_pApWatchdog, _COL_ID_AP_WATCHDOG);
}

ApWatchdog* ApWatchdogShutdownMethod::getApWatchdog()
{
    return getParentOnFirstUse(_pApWatchdog, _COL_ID_AP_WATCHDOG);
}

void ApWatchdogShutdownMethod::setApWatchdog(ApWatchdog* pApWatchdog)
{
    setParentFromOutside(_pApWatchdog, pApWatchdog, _COL_ID_AP_WATCHDOG);
}

ApWatchdogShutdownMethod::operator ShutdownMethod() const
{
    ShutdownMethod method(ShutdownMethod::typeFromInt(getType()));
    method.setHeartbeatMs(getHeartbeatMs());
    method.setTimeoutShutDownFailedMs(getTimeoutShutdownFailMs());
    method.setGpioHeartbeat(getGpioHeartbeatHardReset());
    method.setGpioEnable(getGpioEnableHardReset());
    method.setGpioActiveState(getGpioActiveState() != 0 ? TeskGPIO::BV_ACTIVE : TeskGPIO::BV_INACTIVE);
    return method;
}

}  // namespace Orvik::Apps::Entity
