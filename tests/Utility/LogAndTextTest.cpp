#include "Orvik_Utility/ConvertIt.h"
#include "Orvik_Utility/LboLogSystem.h"
#include "Orvik_Utility/Message2.h"
#include "Orvik_Utility/Watchdog/ShutdownMethod.h"

#include <Poco/Channel.h>
#include <Poco/DateTime.h>
#include <Poco/Exception.h>
#include <Poco/Logger.h>
#include <gtest/gtest.h>

using namespace Orvik::Utility;

namespace
{

/// A Poco channel that keeps what reaches it, so the test sees the logged messages.
class KeepingChannel : public Poco::Channel
{
public:
    void log(const Poco::Message& msg) override { messages.push_back(msg); }
    std::vector<Poco::Message> messages;
};

class LogCatalogue : public ::testing::Test
{
protected:
    void SetUp() override
    {
        _logger.setChannel(_pChannel);
        _logger.setLevel(Poco::Message::PRIO_INFORMATION);
        _pPrevious = LboLogSystem::pLogger;
        LboLogSystem::pLogger = &_logSystem;
    }
    void TearDown() override { LboLogSystem::pLogger = _pPrevious; }

    Poco::AutoPtr<KeepingChannel> _pChannel{new KeepingChannel};
    Poco::Logger& _logger = Poco::Logger::get("LogCatalogueTest");
    LboLogSystem _logSystem{_logger};
    LboLogSystem* _pPrevious = nullptr;
};

}  // namespace

TEST_F(LogCatalogue, CodesGetTheirTextArgumentsAndPriority)
{
    const Message2 unknown(77, "a", 5);
    EXPECT_FALSE(unknown.isKnownCode());
    const Message2 missing(13, LboLogSystem::EXCEPTION_UNKNOWN);
    EXPECT_EQ(missing.getArguments().size(), 1u);
    EXPECT_EQ(missing.getText(),
              "Exception caught in app: " + LboLogSystem::EXCEPTION_UNKNOWN + " (in , line )")
        << "missing arguments leave their place empty";
    EXPECT_FALSE(LboLogSystem::EXCEPTION_UNKNOWN.empty());

    const struct
    {
        Message2 message;
        const char* text;
        Poco::Message::Priority priority;
    } rows[] = {
        {Message2(13, "boom", "AppBase.cpp", 66),
         "[13] Exception caught in app: boom (in AppBase.cpp, line 66)", Poco::Message::PRIO_ERROR},
        {Message2(102, "Pusher(3)"), "[102] App thread still busy after the stop grace period: Pusher(3)",
         Poco::Message::PRIO_WARNING},
        {Message2(3040, "disk I/O error", "AppBase.cpp", 174),
         "[3040] Writing an app parameter failed: disk I/O error (in AppBase.cpp, line 174)",
         Poco::Message::PRIO_ERROR},
        {unknown, "[77] Unknown message code 77 | a | 5", Poco::Message::PRIO_ERROR},
    };
    for (const auto& row : rows)
    {
        _pChannel->messages.clear();
        LboLogSystem::pLogger->log(row.message);
        ASSERT_EQ(_pChannel->messages.size(), 1u) << row.text;
        EXPECT_EQ(_pChannel->messages[0].getText(), row.text);
        EXPECT_EQ(_pChannel->messages[0].getPriority(), row.priority) << row.text;
        EXPECT_EQ(_pChannel->messages[0].getSource(), "LogCatalogueTest");
    }
}

TEST(ConvertIt, BACnetDateCountsWeekdaysFromMonday)
{
    ConvertIt::DateFields date;
    // 2026-12-06 is a Sunday, 2026-12-07 a Monday, 2024-02-29 a Thursday.
    ConvertIt::getBACnetDate(Poco::LocalDateTime(2026, 12, 6, 23, 59, 59), date);
    EXPECT_EQ(date.year, 2026u);
    EXPECT_EQ(date.month, 12u);
    EXPECT_EQ(date.day, 6u);
    EXPECT_EQ(date.weekday, 7u);
    ConvertIt::getBACnetDate(Poco::LocalDateTime(2026, 12, 7), date);
    EXPECT_EQ(date.weekday, 1u);
    ConvertIt::getBACnetDate(Poco::LocalDateTime(2024, 2, 29), date);
    EXPECT_EQ(date.day, 29u);
    EXPECT_EQ(date.weekday, 4u);
}

TEST(ConvertIt, BACnetTimeTruncatesToHundredths)
{
    ConvertIt::TimeFields time;
    ConvertIt::getBACnetTime(Poco::LocalDateTime(2026, 1, 1, 13, 5, 9, 999, 999), time);
    EXPECT_EQ(time.hour, 13u);
    EXPECT_EQ(time.minute, 5u);
    EXPECT_EQ(time.second, 9u);
    EXPECT_EQ(time.hundredths, 99u);
    ConvertIt::getBACnetTime(Poco::LocalDateTime(2026, 1, 1, 0, 0, 0, 9), time);
    EXPECT_EQ(time.hundredths, 0u);
}

TEST(WatchdogShutdownMethod, StoredTypeNumbersOutsideTheListAreRejected)
{
    EXPECT_EQ(Watchdog::ShutdownMethod::typeFromInt(0), Watchdog::ShutdownMethod::DISABLED);
    EXPECT_EQ(Watchdog::ShutdownMethod::typeFromInt(5), Watchdog::ShutdownMethod::DEAMON_SHUTDOWN);
    EXPECT_THROW(Watchdog::ShutdownMethod::typeFromInt(6), Poco::DataFormatException);
    EXPECT_THROW(Watchdog::ShutdownMethod::typeFromInt(-1), Poco::DataFormatException);
}
