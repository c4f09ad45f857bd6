#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

using Orvik::Utility::Watchdog::ShutdownMethod;

TEST(WatchdogShutdownMethod, StoredTypeNumbersOutsideTheListAreRejected)
{
    EXPECT_EQ(ShutdownMethod::typeFromInt(0), ShutdownMethod::DISABLED);
    EXPECT_EQ(ShutdownMethod::typeFromInt(5), ShutdownMethod::DEAMON_SHUTDOWN);
    EXPECT_THROW(ShutdownMethod::typeFromInt(6), Poco::DataFormatException);
    EXPECT_THROW(ShutdownMethod::typeFromInt(-1), Poco::DataFormatException);
}
