// The recorder of the own device's trend logs against a simulated site: polled on the clock's grid, by
// COV, failures as records, and the interruption of a restart.
#include "Eventually.h"
#include "GatewayRig.h"
#include "Orvik_Utility/Notification.h"
#include "ScopedTimeZone.h"
#include "TrendLogRecorder.h"

#include <Poco/DateTimeParser.h>
#include <Poco/Logger.h>
#include <Poco/TemporaryFile.h>
#include <gtest/gtest.h>

namespace
{

using namespace Orvik::BACnet;
using Device::LogStore;
using Orvik::Gateway::TrendLogRecorder;

const char* const SITE = R"({"tickMs": 50, "devices": [{"instance": 2001, "objects": [
    {"type": "analog-input", "instance": 1, "presentValue": 21.5, "covIncrement": 0.5},
    {"type": "binary-input", "instance": 2, "presentValue": "active"},
    {"type": "analog-input", "instance": 3, "presentValue": 5.0}],
    "faults": {"errors": [{"service": "subscribe-cov", "object": "analog-input:3", "errorClass": "object",
                           "errorCode": "optional-functionality-not-supported"}]}}]})";

const Poco::UInt32 POLLED = 1, UNKNOWN_OBJECT = 2, COV = 3, COV_REFUSED = 4;

LogStore::Log logOf(Poco::UInt32 instance, BACNET_OBJECT_TYPE type, Poco::UInt32 object,
                    BACNET_PROPERTY_ID property, bool cov)
{
    LogStore::Log log;
    log.instance = instance;
    log.reference = DataType::BACnetDeviceObjectPropertyReference(
        DataType::ObjectIdentifier(type, object), property, BACNET_ARRAY_ALL,
        DataType::ObjectIdentifier(OBJECT_DEVICE, 2001));
    log.interval = Poco::Timespan(0, 200000);
    log.cov = cov;
    return log;
}

class TrendLogRecorderTest : public testing::Test
{
protected:
    TrendLogRecorderTest()
    {
        _folder.createDirectories();
        _rig.serveSiteText(SITE);
        _pStore = std::make_shared<LogStore>(_folder.path() + "/records.db");
        _pStore->addLog(logOf(POLLED, OBJECT_BINARY_INPUT, 2, PROP_PRESENT_VALUE, false), true);
        _pStore->addLog(logOf(UNKNOWN_OBJECT, OBJECT_ANALOG_INPUT, 9, PROP_PRESENT_VALUE, false), true);
        _pStore->addLog(logOf(COV, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE, true), true);
        _pStore->addLog(logOf(COV_REFUSED, OBJECT_ANALOG_INPUT, 3, PROP_PRESENT_VALUE, true), true);
    }

    std::vector<DataType::BACnetLogRecord> data(Poco::UInt32 log) const
    {
        const LogStore::State state = _pStore->state(log);
        std::vector<DataType::BACnetLogRecord> data;
        for (const LogStore::Record& record : _pStore->read(log, state.first, state.last))
            data.push_back(record.datum);
        return data;
    }

    Poco::TemporaryFile _folder;
    Orvik::Test::GatewayRig _rig;
    std::shared_ptr<LogStore> _pStore;
};

}  // namespace

TEST_F(TrendLogRecorderTest, LogsPolledAndChangedValuesAndFailuresAndAfterARestartTheInterruption)
{
    auto pRecorder =
        std::make_unique<TrendLogRecorder>(_pStore, _rig.clientQueue(), Poco::Logger::get("test"));
    pRecorder->start();
    ASSERT_TRUE(Orvik::Test::eventually([&] { return _pStore->state(POLLED).last >= 3; }));
    // The supervisor's question is answered in the recorder's name, and the recorder logs on.
    Poco::NotificationQueue answers;
    pRecorder->queue().enqueueNotification(
        new Orvik::Utility::Notification(Orvik::Utility::Notification::SANITY_REQUEST,
                                         Orvik::Utility::Notification::SANITY_RESPONSE, &answers));
    const Poco::AutoPtr<Poco::Notification> pAnswer(answers.waitDequeueNotification(10000));
    const auto* pSane = dynamic_cast<const Orvik::Utility::Notification*>(pAnswer.get());
    ASSERT_NE(pSane, nullptr);
    EXPECT_EQ(pSane->getReplyQueue(), &pRecorder->queue());
    const Client::DataObjectKey supply(2001, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
    _rig.site().changeValue(supply, ValueContainer(BACnetValue(30.0f)));
    ASSERT_TRUE(Orvik::Test::eventually([&] { return data(COV).size() >= 2; }));
    pRecorder.reset();
    EXPECT_TRUE(Orvik::Test::eventually([&] { return _rig.site().countSubscriptions(supply) == 0; }));

    // Polled: on the grid, each datum of its datatype.
    const LogStore::State polled = _pStore->state(POLLED);
    for (const LogStore::Record& record : _pStore->read(POLLED, polled.first, polled.last))
    {
        EXPECT_EQ(record.time.epochMicroseconds() % 200000, 0);
        EXPECT_EQ(record.datum.getEnumerated(), 1u);
    }
    EXPECT_EQ(data(UNKNOWN_OBJECT).at(0).getErrorCode(), ERROR_CODE_UNKNOWN_OBJECT);
    // COV: the value at subscribing and the change, with their status flags.
    const std::vector<DataType::BACnetLogRecord> changes = data(COV);
    EXPECT_EQ(changes.at(0).getReal(), 21.5f);
    EXPECT_EQ(changes.at(1).getReal(), 30.0f);
    EXPECT_TRUE(changes.at(1).hasStatusFlags());
    // A refused subscription is a failure record; the log is polled meanwhile.
    const std::vector<DataType::BACnetLogRecord> refused = data(COV_REFUSED);
    EXPECT_EQ(refused.at(0).getChoice(), LOG_DATUM_FAILURE);
    EXPECT_EQ(refused.back().getReal(), 5.0f);

    const Poco::UInt64 before = _pStore->state(POLLED).last;
    pRecorder = std::make_unique<TrendLogRecorder>(_pStore, _rig.clientQueue(), Poco::Logger::get("test"));
    pRecorder->start();
    ASSERT_TRUE(Orvik::Test::eventually([&] { return _pStore->state(POLLED).last >= before + 2; }));
    pRecorder.reset();
    EXPECT_EQ(_pStore->read(POLLED, before + 1, before + 1).at(0).datum,
              LogStore::logStatus(false, false, true));
}

TEST(TrendLogRecorderGrid, RoundsAreOnTheLocalClocksGrid)
{
    struct Row
    {
        const char* zone;
        int intervalSeconds;
        const char* now;
        const char* due;  // UTC
    };
    const Row table[] = {
        {"UTC0", 60, "2026-01-01T00:10:30Z", "2026-01-01T00:11:00Z"},
        {"UTC0", 60, "2026-01-01T00:11:00Z", "2026-01-01T00:12:00Z"},  // after, never at `now`
        {"IST-5:30", 3600, "2026-01-01T00:10:00Z", "2026-01-01T00:30:00Z"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 86400, "2026-01-01T12:00:00Z", "2026-01-01T23:00:00Z"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 86400, "2026-07-01T12:00:00Z", "2026-07-01T22:00:00Z"},
        {"EST5EDT,M3.2.0,M11.1.0", 900, "2026-07-01T12:07:00Z", "2026-07-01T12:15:00Z"}};
    for (const Row& row : table)
    {
        SCOPED_TRACE(std::string(row.zone) + " " + row.now);
        const Orvik::Test::ScopedTimeZone zone(row.zone);
        int tzd = 0;
        const Poco::Timestamp now = Poco::DateTimeParser::parse(row.now, tzd).timestamp();
        const Poco::Timestamp due = Poco::DateTimeParser::parse(row.due, tzd).timestamp();
        EXPECT_EQ(TrendLogRecorder::nextAligned(now, Poco::Timespan(row.intervalSeconds, 0)), due);
    }
}
