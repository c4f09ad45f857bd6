#include "ClientFixture.h"

#include "Orvik_BACnetClient/NotificationResponsePropertyAccess.h"

#include <Poco/Exception.h>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError TIMEOUT(ERROR_CLASS_COMMUNICATION, ERROR_CODE_TIMEOUT);
const DataError BUSY(ERROR_CLASS_DEVICE, ERROR_CODE_DEVICE_BUSY);

ReadRange::Range byPosition(Poco::UInt32 index, Poco::Int32 count)
{
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_POSITION;
    range.refIndex = index;
    range.count = count;
    return range;
}

}  // namespace

class SimulatedFaultTest : public ClientFixture
{
protected:
    void SetUp() override { start("test-faults.json"); }

    DataError readError(const DataPropertyKey& key)
    {
        ValueContainer value;
        return read(key, value);
    }
};

TEST_F(SimulatedFaultTest, SecondReadRangePageFailsOnce)
{
    const DataPropertyKey log = key(400, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
    ReadRangeAck::Result page;
    EXPECT_EQ(readRange(log, byPosition(1, 20), page), DataError());
    EXPECT_EQ(readRange(log, byPosition(21, 20), page), BUSY);
    EXPECT_EQ(readRange(log, byPosition(21, 20), page), DataError());  // the retry of the page works
}

TEST_F(SimulatedFaultTest, PropertyFaultFailsOnlyItsEntry)
{
    std::vector<DataResponseRPM> responses;
    ASSERT_EQ(
        helper->syncRPM(400,
                        {NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_DEVICE, 400),
                                                           {DataPropertyRef(PROP_ALL)})},
                        responses),
        ServiceHelper::SYNC_RESULT_SUCCESS);
    ASSERT_EQ(responses.size(), 1u);
    int failed = 0;
    for (const DataResponseRPM::Value& value : responses[0].values)
    {
        if (!value.hasError())
            continue;
        ++failed;
        EXPECT_EQ(value.propertyRef.propertyIdentifier, PROP_MODEL_NAME);
    }
    EXPECT_EQ(failed, 1);

    // ReadProperty is another service: the model name reads fine there.
    EXPECT_FALSE(readError(key(400, OBJECT_DEVICE, 400, PROP_MODEL_NAME)).hasError());
}

TEST_F(SimulatedFaultTest, ServiceFaultAnswersWithItsErrorAndADropFaultNotAtAll)
{
    ValueContainer on;
    on.setEnum(1);
    helper->asyncWP(key(400, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE), 8, on);
    auto pRefused = next<NotificationResponsePropertyAccess<DataError>>();
    ASSERT_FALSE(pRefused.isNull());
    EXPECT_EQ(pRefused->getResponse(), DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED));

    const Poco::UInt32 before = site->getRequestCount(400);
    EXPECT_EQ(readError(key(400, OBJECT_ANALOG_INPUT, 2, PROP_PRESENT_VALUE)), TIMEOUT);
    EXPECT_EQ(site->getRequestCount(400) - before, 1u + shortTransactions().apduRetries);
    EXPECT_FALSE(readError(key(400, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE)).hasError());
}

TEST_F(SimulatedFaultTest, FaultsSetAndClearedAtRunTime)
{
    const DataPropertyKey temperature = key(100, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE);
    site->setSilent(100, true);
    EXPECT_EQ(readError(temperature), TIMEOUT);
    site->setSilent(100, false);
    EXPECT_FALSE(readError(temperature).hasError());

    Simulation::SimulatedFault fault;
    fault.service = Simulation::SimulatedFault::READ_PROPERTY;
    fault.property = PROP_PRESENT_VALUE;
    fault.error = BUSY;
    fault.count = 2;
    site->addFault(100, fault);
    EXPECT_EQ(readError(temperature), BUSY);
    EXPECT_FALSE(readError(key(100, OBJECT_ANALOG_INPUT, 1, PROP_OBJECT_NAME)).hasError());
    EXPECT_EQ(readError(temperature), BUSY);
    EXPECT_FALSE(readError(temperature).hasError());  // spent after two

    fault.count = 1000;
    site->addFault(100, fault);
    site->clearFaults(100);
    EXPECT_FALSE(readError(temperature).hasError());
}

TEST_F(SimulatedFaultTest, SilentAndTooSlowDevicesMissTheWhoIsWindow)
{
    // 200 is silent; 300 answers after the window.
    site->setDelay(300, shortSettings().whoIsWindowMs * 5);
    std::vector<DataResponseWhoIs> responses;
    ASSERT_EQ(helper->syncWhoIs(DataType::BACnetAddress(), 0, BACNET_MAX_INSTANCE, responses),
              ServiceHelper::SYNC_RESULT_SUCCESS);
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[0].deviceInstance + responses[1].deviceInstance, 100u + 400u);

    // The late I-Am reaches no window; the next Who-Is is not confused by it.
    ASSERT_EQ(helper->syncWhoIs(DataType::BACnetAddress(), 100, 100, responses),
              ServiceHelper::SYNC_RESULT_SUCCESS);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_EQ(responses[0].deviceInstance, 100u);
    EXPECT_THROW(site->setSilent(999, true), Poco::NotFoundException);
    EXPECT_THROW(
        site->getFirstSequenceNumber(DataObjectKey(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1))),
        Poco::NotFoundException);
}

}  // namespace Orvik::BACnet::Client::Test
