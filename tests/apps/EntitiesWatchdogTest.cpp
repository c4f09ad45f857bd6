#include "EntitiesTestDatabase.h"

#include "Orvik_ZARoveDore/Entities/ApWatchdog.h"
#include "Orvik_ZARoveDore/Entities/ApWatchdogShutdownMethod.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using namespace Orvik::Apps::Entity;
using Orvik::Utility::Data::EntityServer;
using Orvik::Utility::Hardware::TeskGPIO;
using Orvik::Utility::Watchdog::Parameters;
using Orvik::Utility::Watchdog::ShutdownMethod;

namespace
{

class WatchdogEntities : public ::testing::Test
{
protected:
    /// Controller 1: an active watchdog with three methods whose "order" runs against
    /// their keys. Controller 2: an inactive watchdog with one method.
    void SetUp() override
    {
        _db.exec("INSERT INTO dv_controller (id_dv_controller) VALUES (2)");
        _db.exec(
            "INSERT INTO ap_watchdog (id_ap_watchdog,id_dv_controller,active,name,frequency_sec,"
            "subscribers_timeout_sec) VALUES (1,1,1,'main',4000000000,15)");
        _db.exec(
            "INSERT INTO ap_watchdog (id_ap_watchdog,id_dv_controller,active,name) VALUES (2,2,0,'idle')");
        _db.exec("INSERT INTO ap_watchdog_shutdown_method VALUES (11,1,3,4,100,5000,17,27,5)");
        _db.exec("INSERT INTO ap_watchdog_shutdown_method VALUES (12,1,1,1,200,6000,-1,-1,0)");
        _db.exec("INSERT INTO ap_watchdog_shutdown_method VALUES (13,1,2,3,300,7000,22,23,1)");
        _db.exec("INSERT INTO ap_watchdog_shutdown_method VALUES (21,2,1,2,400,8000,5,6,1)");
    }

    EntitiesTestDatabase _db;
    EntityServer _es{_db.session()};
};

}  // namespace

TEST(WatchdogEntityDefaults, NewWatchdogHasItsPeriods)
{
    ApWatchdog watchdog(true);
    EXPECT_EQ(watchdog.getFrequencySec(), 30u);
    EXPECT_EQ(watchdog.getSubscribersTimoutSec(), 10u);
    EXPECT_TRUE(watchdog.isChanged(ApWatchdog::_COL_FRECUENCY_SEC));
    EXPECT_EQ(ApWatchdogShutdownMethod(true).getColCount(), 9u);
    EXPECT_FALSE(ApWatchdogShutdownMethod(true).isModified());
}

TEST_F(WatchdogEntities, ActiveOnlyFindsNothingForAnInactiveWatchdog)
{
    ApWatchdog watchdog;
    EXPECT_EQ(watchdog.retrieve(2, _es, true, true), 0);
    EXPECT_EQ(_es.getWhere(), "id_dv_controller=? AND active<> 0");
    EXPECT_TRUE(static_cast<Parameters>(watchdog).getShutdownMethods().empty()) << "no methods read";

    EXPECT_EQ(watchdog.retrieve(2, _es, false, false), 1);
    EXPECT_EQ(watchdog.getName(), "idle");
    EXPECT_EQ(static_cast<Parameters>(watchdog).getShutdownMethods().size(), 1u) << "read with the watchdog";
}

TEST_F(WatchdogEntities, ConversionKeepsValuesAndTheConfiguredOrder)
{
    ApWatchdog watchdog;
    ASSERT_EQ(watchdog.retrieve(1, _es, true, true), 1);
    EXPECT_EQ(watchdog.getFrequencySec(), 4000000000u) << "unsigned 32-bit values survive the database";
    ASSERT_NE(watchdog.findApWatchdogShutdownMethod(13), nullptr);

    const Parameters parameters = watchdog;
    EXPECT_EQ(parameters.frequencySec, 4000000000u);
    EXPECT_EQ(parameters.subscribersTimeoutSec, 15u);
    EXPECT_EQ(parameters.pDbSession, &_db.session());
    const auto& methods = parameters.getShutdownMethods();
    ASSERT_EQ(methods.size(), 3u);
    EXPECT_EQ(methods[0].type, ShutdownMethod::SOFTWARE)
        << "order 1 first, although its key is not the lowest";
    EXPECT_EQ(methods[1].type, ShutdownMethod::HARD_RESET);
    EXPECT_EQ(methods[2].type, ShutdownMethod::COLD_BOOT);
    EXPECT_EQ(methods[2].getHeartbeatMs(), 100);
    EXPECT_EQ(methods[2].getTimeoutShutDownFailedMs(), 5000);
    EXPECT_EQ(methods[2].getGpioHeartbeat(), 17);
    EXPECT_EQ(methods[2].getGpioEnable(), 27);
    EXPECT_EQ(methods[2].getGpioActiveState(), TeskGPIO::BV_ACTIVE) << "gpio_active_state 5";
    EXPECT_EQ(methods[0].getGpioActiveState(), TeskGPIO::BV_INACTIVE) << "gpio_active_state 0";
}

TEST_F(WatchdogEntities, WatchdogReadByKeyConvertsWithoutMethods)
{
    ApWatchdog watchdog;
    ASSERT_EQ(watchdog.retrieve(1, _es), 1);
    EXPECT_TRUE(static_cast<Parameters>(watchdog).getShutdownMethods().empty());
    ASSERT_NE(watchdog.getApWatchdogShutdownMethods(), nullptr);
    EXPECT_EQ(static_cast<Parameters>(watchdog).getShutdownMethods().size(), 3u) << "after loading them";
}

TEST_F(WatchdogEntities, MethodOfUnknownTypeDoesNotConvert)
{
    ApWatchdogShutdownMethod method(true);
    method.setType(9);
    EXPECT_THROW(static_cast<void>(static_cast<ShutdownMethod>(method)), Poco::DataFormatException);
    ApWatchdog watchdog(true);
    watchdog.addAppWatchdogShutdownMethod(method);
    EXPECT_THROW(static_cast<void>(static_cast<Parameters>(watchdog)), Poco::DataFormatException);
}

TEST_F(WatchdogEntities, NewWatchdogWithMethodsIsStoredWithItsKeyPassedDown)
{
    _db.exec("INSERT INTO dv_controller (id_dv_controller) VALUES (3)");
    ApWatchdog watchdog(true);
    watchdog.setIdDvController(3);
    watchdog.setActive(1);
    ApWatchdogShutdownMethod method(true);
    method.setOrder(1);
    method.setType(ShutdownMethod::SOFTWARE);
    watchdog.addAppWatchdogShutdownMethod(method);
    EXPECT_EQ(method.getApWatchdog(), &watchdog);

    EXPECT_EQ(watchdog.updateAll(_es, nullptr), 2);
    EXPECT_EQ(
        _db.queryInt(
            "SELECT id_ap_watchdog FROM ap_watchdog_shutdown_method WHERE id_ap_watchdog_shutdown_method>21"),
        watchdog.getPK());

    ApWatchdogShutdownMethod loaded;
    ASSERT_EQ(loaded.retrieve(watchdog.getApWatchdogShutdownMethods()->begin()->first, _es), 1);
    ASSERT_NE(loaded.getApWatchdog(), nullptr);
    EXPECT_EQ(loaded.getApWatchdog()->getIdDvController(), 3);
}
