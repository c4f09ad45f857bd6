#include "Orvik_Utility/Watchdog/Parameters.h"
#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using Orvik::Utility::Hardware::TeskGPIO;
using Orvik::Utility::Watchdog::Parameters;
using Orvik::Utility::Watchdog::ShutdownMethod;

TEST(WatchdogShutdownMethod, KeepsEverySettingWithoutAService)
{
    ShutdownMethod method(ShutdownMethod::HARD_RESET);
    EXPECT_EQ(method.getGpioHeartbeat(), ShutdownMethod::_NO_GPIO);
    method.setHeartbeatMs(500);
    method.setTimeoutShutDownFailedMs(20000);
    method.setGpioHeartbeat(17);
    method.setGpioEnable(27);
    method.setGpioActiveState(TeskGPIO::BV_INACTIVE);
    EXPECT_EQ(method.type, ShutdownMethod::HARD_RESET);
    EXPECT_EQ(method.getHeartbeatMs(), 500);
    EXPECT_EQ(method.getTimeoutShutDownFailedMs(), 20000);
    EXPECT_EQ(method.getGpioHeartbeat(), 17);
    EXPECT_EQ(method.getGpioEnable(), 27);
    EXPECT_EQ(method.getGpioActiveState(), TeskGPIO::BV_INACTIVE);
}

TEST(WatchdogShutdownMethod, StoredTypeNumbersOutsideTheListAreRejected)
{
    EXPECT_EQ(ShutdownMethod::typeFromInt(0), ShutdownMethod::DISABLED);
    EXPECT_EQ(ShutdownMethod::typeFromInt(5), ShutdownMethod::DEAMON_SHUTDOWN);
    EXPECT_THROW(ShutdownMethod::typeFromInt(6), Poco::DataFormatException);
    EXPECT_THROW(ShutdownMethod::typeFromInt(-1), Poco::DataFormatException);
    EXPECT_EQ(ShutdownMethod::typeName(ShutdownMethod::COLD_BOOT), "COLD_BOOT");
}

TEST(WatchdogParameters, KeepsShutdownMethodsInTheOrderAdded)
{
    Parameters parameters(30, 10, nullptr);
    parameters.addShutdownMethod(ShutdownMethod(ShutdownMethod::SOFTWARE));
    parameters.addShutdownMethod(ShutdownMethod(ShutdownMethod::HARDWARE));
    EXPECT_EQ(parameters.frequencySec, 30u);
    EXPECT_EQ(parameters.subscribersTimeoutSec, 10u);
    ASSERT_EQ(parameters.getShutdownMethods().size(), 2u);
    EXPECT_EQ(parameters.getShutdownMethods()[0].type, ShutdownMethod::SOFTWARE);
    EXPECT_EQ(parameters.getShutdownMethods()[1].type, ShutdownMethod::HARDWARE);
}
