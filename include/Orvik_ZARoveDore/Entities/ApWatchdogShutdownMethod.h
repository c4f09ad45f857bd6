#pragma once

#include "Orvik_ZARoveDore/Entities/Ap.h"
#include "Orvik_ZARoveDore/Entities/ParentLink.h"

#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

namespace Orvik::Apps::Entity
{

class ApWatchdog;

/// A row of ap_watchdog_shutdown_method: one way for a controller's watchdog to
/// bring it down or reset it, its place in the watchdog's sequence ("order"),
/// its timing and its GPIO lines.
///
/// Parent: its watchdog (foreign key column 1), as for ApAppInstance's app.
/// Converts into the host's Watchdog::ShutdownMethod: type, heartbeat, time-out,
/// the two GPIO lines, and the active state BV_ACTIVE for a gpio_active_state
/// other than 0, BV_INACTIVE for 0.
class ApWatchdogShutdownMethod : public Ap
{
public:
    static const ColNames _colNames;
    static constexpr std::size_t _COL_ID_AP_WATCHDOG_SHUTDOWN_METHOD = 0;
    static constexpr std::size_t _COL_ID_AP_WATCHDOG = 1;
    static constexpr std::size_t _COL_ORDER = 2;
    static constexpr std::size_t _COL_TYPE = 3;
    static constexpr std::size_t _COL_HEARTBEAT_MS = 4;
    static constexpr std::size_t _COL_TIMOUT_SHUTDOWN_FAIL_MS = 5;
    static constexpr std::size_t _COL_GPIO_HEARTBEAT_HARD_RESET = 6;
    static constexpr std::size_t _COL_GPIO_ENABLE_HARD_RESET = 7;
    static constexpr std::size_t _COL_GPIO_ACTIVE_STATE = 8;

    explicit ApWatchdogShutdownMethod(bool setAsNew = false);

    const std::string& getTableName() const override;
    const ColNames& getColNames() const override;
    void setPK(Poco::Int32 pk, bool updateStatus) override;

    Poco::Int32 retrieve(Poco::Int32 id, EntityServer& es);

    Poco::Int32 getIdApWatchdogShutdownMethod() const { return getPK(); }
    void setIdApWatchdogShutdownMethod(Poco::Int32 id) { setPK(id, true); }
    Poco::Int32 getIdApWatchdog() const { return getInt(_COL_ID_AP_WATCHDOG); }
    void setIdApWatchdog(Poco::Int32 id) { setVar(_COL_ID_AP_WATCHDOG, id, true); }
    Poco::Int32 getOrder() const { return getInt(_COL_ORDER); }
    void setOrder(Poco::Int32 order) { setVar(_COL_ORDER, order, true); }
    Poco::Int32 getType() const { return getInt(_COL_TYPE); }
    void setType(Poco::Int32 type) { setVar(_COL_TYPE, type, true); }
    Poco::Int32 getHeartbeatMs() const { return getInt(_COL_HEARTBEAT_MS); }
    void setHeartbeatMs(Poco::Int32 ms) { setVar(_COL_HEARTBEAT_MS, ms, true); }
    Poco::Int32 getTimeoutShutdownFailMs() const { return getInt(_COL_TIMOUT_SHUTDOWN_FAIL_MS); }
    void setTimeoutShutdownFailMs(Poco::Int32 ms) { setVar(_COL_TIMOUT_SHUTDOWN_FAIL_MS, ms, true); }
    Poco::Int32 getGpioHeartbeatHardReset() const { return getInt(_COL_GPIO_HEARTBEAT_HARD_RESET); }
    void setGpioHeartbeatHardReset(Poco::Int32 gpio) { setVar(_COL_GPIO_HEARTBEAT_HARD_RESET, gpio, true); }
    Poco::Int32 getGpioEnableHardReset() const { return getInt(_COL_GPIO_ENABLE_HARD_RESET); }
    void setGpioEnableHardReset(Poco::Int32 gpio) { setVar(_COL_GPIO_ENABLE_HARD_RESET, gpio, true); }
    Poco::Int32 getGpioActiveState() const { return getInt(_COL_GPIO_ACTIVE_STATE); }
    void setGpioActiveState(Poco::Int32 state) { setVar(_COL_GPIO_ACTIVE_STATE, state, true); }

    ApWatchdog* retrieveApWatchdog();
    ApWatchdog* getApWatchdog();
    void setApWatchdog(ApWatchdog* pApWatchdog);

    /// See the class comment. Poco::DataFormatException for a type that names no method.
    operator Orvik::Utility::Watchdog::ShutdownMethod() const;

private:
    ParentLink<ApWatchdog> _pApWatchdog;
};

}  // namespace Orvik::Apps::Entity

namespace Poco::Data
{
template <>
class TypeHandler<Orvik::Apps::Entity::ApWatchdogShutdownMethod>
    : public Orvik::Utility::Data::EntityTypeHandler<Orvik::Apps::Entity::ApWatchdogShutdownMethod>
{
};
}  // namespace Poco::Data
