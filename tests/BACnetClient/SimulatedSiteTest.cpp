#include "ClientFixture.h"
#include "Eventually.h"
#include "Orvik_BACnetClient/ReadRangePager.h"

#include <Poco/DateTime.h>
#include <Poco/Exception.h>
#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError UNKNOWN_PROPERTY(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY);
const DataError UNKNOWN_OBJECT(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT);
const DataError DENIED(ERROR_CLASS_PROPERTY, ERROR_CODE_WRITE_ACCESS_DENIED);
const DataError OUT_OF_RANGE(ERROR_CLASS_PROPERTY, ERROR_CODE_VALUE_OUT_OF_RANGE);
const DataError BUSY(ERROR_CLASS_DEVICE, ERROR_CODE_DEVICE_BUSY);

std::vector<BACNET_PROPERTY_ID> propertiesOf(const DataResponseRPM& response)
{
    std::vector<BACNET_PROPERTY_ID> properties;
    for (const DataResponseRPM::Value& value : response.values)
        properties.push_back(value.propertyRef.propertyIdentifier);
    return properties;
}

const DataResponseRPM::Value& entryOf(const DataResponseRPM& response, BACNET_PROPERTY_ID property)
{
    const auto it =
        std::find_if(response.values.begin(), response.values.end(),
                     [property](const auto& v) { return v.propertyRef.propertyIdentifier == property; });
    if (it == response.values.end())
        throw Poco::NotFoundException("no property " + std::to_string(property));
    return *it;
}

NotificationRequestRPM::Parameter ask(BACNET_OBJECT_TYPE type, Poco::UInt32 instance,
                                      std::initializer_list<BACNET_PROPERTY_ID> properties)
{
    return NotificationRequestRPM::Parameter(
        DataType::ObjectIdentifier(type, instance),
        std::vector<DataPropertyRef>(properties.begin(), properties.end()));
}

/// The time of record `minute` + 1 of the test logs, which log once a minute from the start of 2026.
Poco::Timestamp january(int minute)
{
    return Poco::DateTime(2026, 1, 1).timestamp() + static_cast<Poco::Timestamp::TimeDiff>(minute) * 60000000;
}

/// A range of `count` records from `reference`: a position, a sequence number or, by time, the minute of
/// january().
ReadRange::Range rangeOf(ReadRange::RequestType type, Poco::Int32 count, Poco::UInt32 reference = 0)
{
    ReadRange::Range range;
    range.requestType = type;
    range.count = count;
    range.refIndex = reference;
    range.refSeqNum = reference;
    range.refTime = DataType::BACnetDateTime(january(static_cast<int>(reference)));
    return range;
}

}  // namespace

/// The devices of sites/test-network.json (or, for the faults, sites/test-faults.json) through a real
/// client worker: what they answer, refuse and notify.
class SimulatedSiteTest : public ClientFixture
{
protected:
    void SetUp() override { start("test-network.json"); }

    std::vector<DataResponseRPM> readMultiple(
        Poco::UInt32 device, const std::vector<NotificationRequestRPM::Parameter>& parameters)
    {
        std::vector<DataResponseRPM> responses;
        EXPECT_EQ(helper->syncRPM(device, parameters, responses), ServiceHelper::SYNC_RESULT_SUCCESS);
        return responses;
    }

    DataError readError(const DataPropertyKey& key)
    {
        ValueContainer value;
        return read(key, value);
    }

    /// Subscribes; the acknowledgement is taken, the initial notification stays in the queue.
    void subscribeOk(const DataPropertyKey& key,
                     const NotificationRequestSubscribeCOV::Parameters& parameters)
    {
        helper->asyncSubscribeCOV(key, parameters);
        auto pAck = next<NotificationResponsePropertyAccess<int>>();
        ASSERT_FALSE(pAck.isNull());
        EXPECT_EQ(pAck->getPropertyKey(), key);
    }

    DataResponseCOV nextNotification()
    {
        auto pNotification = next<NotificationResponse<DataResponseCOV>>();
        return pNotification.isNull() ? DataResponseCOV() : pNotification->getResponse();
    }

    /// The first value of the next notification.
    ValueContainer nextNotified()
    {
        const DataResponseCOV notification = nextNotification();
        return notification.values.empty() ? ValueContainer() : notification.values[0].value;
    }

    static NotificationRequestSubscribeCOV::Parameters subscription(Poco::UInt32 lifetime)
    {
        NotificationRequestSubscribeCOV::Parameters result;
        result.subscriberProcessIdentifier = ServiceHelper::getNewCOVSubscriberProcessIdentifier();
        result.lifetime = lifetime;
        return result;
    }

    /// The page's records are those the site holds, from its first sequence number on.
    void expectRecordsOfSite(const DataObjectKey& trendLog, const ReadRangeAck::Result& page)
    {
        const std::size_t channels = page.itemCnt == 0 ? 1 : page.value.size() / page.itemCnt;
        ASSERT_EQ(page.value.size(), page.itemCnt * channels);
        for (Poco::UInt32 i = 0; i < page.itemCnt; ++i)
        {
            const auto records = site->getLogRecords(trendLog, page.firstSequenceNumber + i);
            ASSERT_EQ(records.size(), channels);
            for (std::size_t c = 0; c < channels; ++c)
                EXPECT_EQ(page.value.at(i * channels + c).get<DataType::BACnetLogRecord>(), records[c]);
        }
    }

    const DataPropertyKey _log = key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
    const DataPropertyKey _fan = key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE);
    const DataObjectKey _zone = DataObjectKey(100, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
    const DataPropertyKey _wholeZone = DataPropertyKey(_zone, MAX_BACNET_PROPERTY_ID);
};

TEST_F(SimulatedSiteTest, WholeArraysElementsTheirCountAndTheErrorsOfReadProperty)
{
    const DataType::ObjectIdentifier device(OBJECT_DEVICE, 100);
    ValueContainer value = read(DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_LIST)));
    EXPECT_EQ(value.getStructure(), BACNET_DTS_ARRAY);
    ASSERT_EQ(value.size(), 14u);  // the device object and its 13 objects, the device first
    EXPECT_EQ(value.at(0).get<DataType::ObjectIdentifier>(), device);
    EXPECT_EQ(value.at(13).get<DataType::ObjectIdentifier>(),
              DataType::ObjectIdentifier(OBJECT_STRUCTURED_VIEW, 1));
    EXPECT_EQ(read(key(100, OBJECT_DEVICE, 100, PROP_OBJECT_LIST, 0)).getUInt(), 14u);
    EXPECT_EQ(read(key(100, OBJECT_DEVICE, 100, PROP_OBJECT_LIST, 2)).getObjectIdentifier(),
              DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));

    const std::pair<DataPropertyKey, DataError> refused[] = {
        {key(100, OBJECT_DEVICE, 100, PROP_OBJECT_LIST, 15),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_ARRAY_INDEX)},
        {key(100, OBJECT_DEVICE, 100, PROP_OBJECT_NAME, 1),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY)},
        {key(100, OBJECT_BINARY_INPUT, 1, PROP_UNITS), UNKNOWN_PROPERTY},
        {key(100, OBJECT_ANALOG_INPUT, 99, PROP_PRESENT_VALUE), UNKNOWN_OBJECT},
        {key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_READ_ACCESS_DENIED)},
    };
    for (const auto& [refusedKey, expected] : refused)
        EXPECT_EQ(read(refusedKey, value), expected) << expected.getString();

    // References to objects of the own and of another device.
    std::vector<DataType::BACnetDeviceObjectPropertyReference> references;
    read(key(100, OBJECT_TREND_LOG_MULTIPLE, 1, PROP_LOG_DEVICE_OBJECT_PROPERTY)).getValues(references);
    ASSERT_EQ(references.size(), 2u);
    EXPECT_FALSE(references[0].hasDevice());
    EXPECT_EQ(references[1].getDeviceIdentifier(), DataType::ObjectIdentifier(OBJECT_DEVICE, 200));
    const auto subordinate = read(key(100, OBJECT_STRUCTURED_VIEW, 1, PROP_SUBORDINATE_LIST, 3))
                                 .at(0)
                                 .get<DataType::BACnetDeviceObjectReference>();
    EXPECT_EQ(subordinate.getDeviceInstance(), 200u);
    EXPECT_EQ(subordinate.getObjectIdentifier(), DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
}

TEST_F(SimulatedSiteTest, ReadPropertyMultipleWithPerPropertyAndPerObjectErrorsInOneReply)
{
    const std::vector<DataResponseRPM> responses =
        readMultiple(100, {ask(OBJECT_DEVICE, 100,
                               {PROP_SYSTEM_STATUS, PROP_VENDOR_IDENTIFIER, PROP_MODEL_NAME, PROP_LOCAL_DATE,
                                PROP_UTC_OFFSET, PROP_LOCATION, PROP_DESCRIPTION}),
                           ask(OBJECT_BINARY_INPUT, 1, {PROP_OBJECT_NAME, PROP_UNITS, PROP_PRESENT_VALUE}),
                           ask(OBJECT_ANALOG_INPUT, 42, {PROP_ALL})});
    ASSERT_EQ(responses.size(), 3u);
    const auto& device = responses[0].values;
    ASSERT_EQ(device.size(), 7u);
    EXPECT_EQ(device[0].value.getEnum(), 0u);  // operational
    EXPECT_EQ(device[1].value.getUInt(), 7u);
    EXPECT_EQ(device[2].value.getCharString(), "M");
    EXPECT_NE(device[3].value.getDate().year, 0);
    EXPECT_FALSE(device[4].hasError());
    EXPECT_EQ(device[5].error, UNKNOWN_PROPERTY);  // no location in the site file
    EXPECT_EQ(device[6].value.getCharString(), "Test device with every object type");
    const auto& input = responses[1].values;
    ASSERT_EQ(input.size(), 3u);
    EXPECT_EQ(input[0].value.getCharString(), "Window Contact");
    EXPECT_EQ(input[1].error, UNKNOWN_PROPERTY);
    EXPECT_GE(input[1].error.errorClass, ERROR_CLASS_DEVICE);
    EXPECT_FALSE(input[2].hasError());
    EXPECT_EQ(input[2].error.errorClass, MAX_BACNET_ERROR_CLASS);
    ASSERT_EQ(responses[2].values.size(), 1u);
    EXPECT_EQ(responses[2].values[0].error, UNKNOWN_OBJECT);
}

TEST_F(SimulatedSiteTest, AllRequiredAndOptionalPropertiesAndTheLogBufferAsUnreadable)
{
    const std::vector<DataResponseRPM> responses = readMultiple(
        100, {ask(OBJECT_ANALOG_OUTPUT, 1, {PROP_ALL}), ask(OBJECT_ANALOG_OUTPUT, 1, {PROP_REQUIRED}),
              ask(OBJECT_ANALOG_OUTPUT, 1, {PROP_OPTIONAL}), ask(OBJECT_TRENDLOG, 1, {PROP_ALL})});
    ASSERT_EQ(responses.size(), 4u);
    const auto all = propertiesOf(responses[0]);
    const auto required = propertiesOf(responses[1]);
    const auto optional = propertiesOf(responses[2]);
    const auto has = [](const std::vector<BACNET_PROPERTY_ID>& properties, BACNET_PROPERTY_ID property)
    { return std::find(properties.begin(), properties.end(), property) != properties.end(); };
    for (BACNET_PROPERTY_ID property :
         {PROP_OBJECT_IDENTIFIER, PROP_OBJECT_NAME, PROP_OBJECT_TYPE, PROP_PRESENT_VALUE, PROP_STATUS_FLAGS,
          PROP_PRIORITY_ARRAY, PROP_RELINQUISH_DEFAULT, PROP_UNITS})
    {
        EXPECT_TRUE(has(all, property)) << property;
        EXPECT_TRUE(has(required, property)) << property;
    }
    EXPECT_TRUE(has(optional, PROP_COV_INCREMENT));
    EXPECT_FALSE(has(required, PROP_COV_INCREMENT));
    EXPECT_EQ(all.size(), required.size() + optional.size());
    for (const DataResponseRPM::Value& value : responses[0].values)
        EXPECT_FALSE(value.hasError()) << value.propertyRef.propertyIdentifier;
    // property-list names every property except the four that each object has.
    EXPECT_EQ(entryOf(responses[0], PROP_PROPERTY_LIST).value.size(), all.size() - 4);

    const DataResponseRPM& log = responses[3];
    EXPECT_EQ(entryOf(log, PROP_LOG_BUFFER).error,
              DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_READ_ACCESS_DENIED));
    EXPECT_EQ(entryOf(log, PROP_RECORD_COUNT).value.getUInt(), 150u);
    EXPECT_EQ(entryOf(log, PROP_TOTAL_RECORD_COUNT).value.getUInt(), 150u);
    const auto& logged = entryOf(log, PROP_LOG_DEVICE_OBJECT_PROPERTY)
                             .value.at(0)
                             .get<DataType::BACnetDeviceObjectPropertyReference>();
    EXPECT_EQ(logged.getObjectIdentifier(), DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
    EXPECT_FALSE(logged.hasDevice());
}

TEST_F(SimulatedSiteTest, PresentValueComesFromTheHighestPriorityThenTheRelinquishDefault)
{
    EXPECT_EQ(read(_fan).getEnum(), 0u);
    EXPECT_EQ(write(_fan, 8, enumerated(1)), DataError());
    EXPECT_EQ(read(_fan).getEnum(), 1u);
    EXPECT_EQ(write(_fan, 5, enumerated(0)), DataError());
    EXPECT_EQ(read(_fan).getEnum(), 0u);

    const ValueContainer slots = read(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY));
    ASSERT_EQ(slots.size(), 16u);
    EXPECT_TRUE(slots.at(3).isNull());
    EXPECT_EQ(slots.at(4).toUInt64(), 0u);
    EXPECT_EQ(slots.at(7).toUInt64(), 1u);
    EXPECT_EQ(read(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY, 8)).getEnum(), 1u);

    EXPECT_EQ(write(_fan, 5, valueOf()), DataError());  // relinquish: priority 8 rules again
    EXPECT_EQ(read(_fan).getEnum(), 1u);
    EXPECT_EQ(write(_fan, 8, valueOf()), DataError());
    EXPECT_EQ(read(_fan).getEnum(), 0u);
    EXPECT_EQ(write(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_RELINQUISH_DEFAULT), 16, enumerated(1)),
              DataError());
    EXPECT_EQ(read(_fan).getEnum(), 1u);
}

TEST_F(SimulatedSiteTest, WritesThatDevicesRefuseAndAnInputTakesOnlyOutOfService)
{
    EXPECT_EQ(write(_fan, 8, valueOf(1.0f)), DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_DATA_TYPE));
    EXPECT_EQ(write(_fan, 8, enumerated(2)), OUT_OF_RANGE);
    EXPECT_EQ(write(_fan, 0, enumerated(1)), OUT_OF_RANGE);
    EXPECT_EQ(write(_fan, 17, enumerated(1)), OUT_OF_RANGE);
    EXPECT_EQ(write(key(100, OBJECT_MULTI_STATE_VALUE, 1, PROP_PRESENT_VALUE), 8, valueOf(std::uint64_t{4})),
              OUT_OF_RANGE);
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 1, PROP_UNITS), 16, enumerated(62)), DENIED);
    EXPECT_EQ(write(key(100, OBJECT_BINARY_OUTPUT, 1, PROP_PRIORITY_ARRAY, 3), 16, enumerated(1)), DENIED);
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 1, PROP_HIGH_LIMIT), 16, valueOf(1.0f)), UNKNOWN_PROPERTY);
    EXPECT_EQ(write(key(100, OBJECT_ANALOG_INPUT, 9, PROP_PRESENT_VALUE), 16, valueOf(1.0f)), UNKNOWN_OBJECT);
    EXPECT_EQ(read(_fan).getEnum(), 0u);  // nothing of that changed the fan

    const DataPropertyKey zone(_zone, PROP_PRESENT_VALUE);
    EXPECT_EQ(write(zone, 16, valueOf(30.0f)), DENIED);
    EXPECT_EQ(write(DataPropertyKey(_zone, PROP_OUT_OF_SERVICE), 16, valueOf(true)), DataError());
    EXPECT_EQ(write(zone, 16, valueOf(30.0f)), DataError());
    EXPECT_FLOAT_EQ(read(zone).getReal(), 30.0f);
    EXPECT_TRUE(read(DataPropertyKey(_zone, PROP_STATUS_FLAGS))
                    .at(0)
                    .get<DataType::BitString>()
                    .getBit(STATUS_FLAG_OUT_OF_SERVICE));
}

TEST_F(SimulatedSiteTest, SubscriptionSendsTheFirstStateThenChangesBeyondTheIncrementAndWrites)
{
    const NotificationRequestSubscribeCOV::Parameters object = subscription(0);
    subscribeOk(_wholeZone, object);
    DataResponseCOV notification = nextNotification();
    EXPECT_EQ(notification.subscriberProcessIdentifier, object.subscriberProcessIdentifier);
    EXPECT_EQ(notification.initiatingDeviceInstance, 100u);
    EXPECT_EQ(notification.monitoredObjectIdentifier, _zone.objectIdentifier);
    ASSERT_EQ(notification.values.size(), 2u);
    EXPECT_EQ(notification.values[0].propertyRef.propertyIdentifier, PROP_PRESENT_VALUE);
    EXPECT_FLOAT_EQ(notification.values[0].value.getReal(), 20.5f);
    EXPECT_EQ(notification.values[1].propertyRef.propertyIdentifier, PROP_STATUS_FLAGS);
    EXPECT_EQ(site->changeValue(_zone, valueOf(20.7f)), DataError());  // below the increment of 0.5
    EXPECT_EQ(site->changeValue(_zone, valueOf(21.1f)), DataError());
    EXPECT_FLOAT_EQ(nextNotified().getReal(), 21.1f);

    // A property subscription with an increment of its own.
    NotificationRequestSubscribeCOV::Parameters property = subscription(0);
    EXPECT_NE(object.subscriberProcessIdentifier, 0u);
    EXPECT_GT(property.subscriberProcessIdentifier,
              object.subscriberProcessIdentifier);  // never handed out twice
    property.covIncrementPresent = true;
    property.covIncrement = 2.0f;
    subscribeOk(DataPropertyKey(_zone, PROP_PRESENT_VALUE), property);
    nextNotification();
    site->changeValue(_zone, valueOf(22.5f));  // the object's subscriber only
    EXPECT_FLOAT_EQ(nextNotified().getReal(), 22.5f);
    site->changeValue(_zone, valueOf(23.5f));  // both
    EXPECT_FLOAT_EQ(nextNotified().getReal(), 23.5f);
    EXPECT_FLOAT_EQ(nextNotified().getReal(), 23.5f);
    EXPECT_TRUE(responses.empty());

    // Written values are notified, with the time the subscription has left.
    subscribeOk(DataPropertyKey(_fan.getObjectKey(), PROP_PRESENT_VALUE), subscription(300));
    notification = nextNotification();
    EXPECT_GT(notification.timeRemaining, 0u);
    EXPECT_LE(notification.timeRemaining, 300u);
    EXPECT_EQ(write(_fan, 9, enumerated(1)), DataError());
    EXPECT_EQ(nextNotified().getEnum(), 1u);
}

TEST_F(SimulatedSiteTest, CancelledOrExpiredSubscriptionIsSilent)
{
    NotificationRequestSubscribeCOV::Parameters renewed = subscription(0);
    subscribeOk(_wholeZone, renewed);
    nextNotification();
    subscribeOk(_wholeZone, renewed);  // a renewal replaces the subscription
    nextNotification();
    EXPECT_EQ(site->countSubscriptions(_zone), 1u);
    renewed.cancelation = true;
    subscribeOk(_wholeZone, renewed);
    EXPECT_EQ(site->countSubscriptions(_zone), 0u);
    site->changeValue(_zone, valueOf(40.0f));
    // A notification would come before the answer to this later request.
    read(DataPropertyKey(_zone, PROP_PRESENT_VALUE));
    EXPECT_TRUE(responses.empty());

    subscribeOk(_wholeZone, subscription(1));
    EXPECT_EQ(nextNotification().timeRemaining, 1u);
    EXPECT_TRUE(Orvik::Test::eventually([&] { return site->countSubscriptions(_zone) == 0; }));
}

TEST_F(SimulatedSiteTest, RefusedSubscriptions)
{
    const std::pair<DataPropertyKey, DataError> refused[] = {
        {key(100, OBJECT_TRENDLOG, 1, MAX_BACNET_PROPERTY_ID),
         DataError(ERROR_CLASS_OBJECT, ERROR_CODE_OPTIONAL_FUNCTIONALITY_NOT_SUPPORTED)},
        {key(100, OBJECT_ANALOG_INPUT, 7, MAX_BACNET_PROPERTY_ID), UNKNOWN_OBJECT},
        {key(100, OBJECT_BINARY_INPUT, 1, PROP_UNITS), UNKNOWN_PROPERTY},
        {key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_NOT_COV_PROPERTY)}};
    for (const auto& [refusedKey, expected] : refused)
    {
        helper->asyncSubscribeCOV(refusedKey, subscription(60));
        auto pReply = next<NotificationResponseObjectAccess<DataError>>();
        EXPECT_EQ(pReply.isNull() ? DataError() : pReply->getResponse(), expected);
    }
}

TEST_F(SimulatedSiteTest, FaultsOfTheSiteFileFailOnlyWhatTheyName)
{
    start("test-faults.json");
    // A ReadRange page fails once; the retry of the page works.
    const DataPropertyKey log = key(400, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
    ReadRange::Range range;
    range.requestType = ReadRange::RT_BY_POSITION;
    range.count = 20;
    ReadRangeAck::Result page;
    for (const auto& [index, expected] : {std::pair<Poco::UInt32, DataError>{1, {}}, {21, BUSY}, {21, {}}})
    {
        range.refIndex = index;
        EXPECT_EQ(readRange(log, range, page), expected) << index;
    }

    // A property fault fails only its entry of ReadPropertyMultiple; ReadProperty reads it fine.
    const std::vector<DataResponseRPM> responses = readMultiple(400, {ask(OBJECT_DEVICE, 400, {PROP_ALL})});
    ASSERT_EQ(responses.size(), 1u);
    std::vector<BACNET_PROPERTY_ID> failed;
    for (const DataResponseRPM::Value& value : responses[0].values)
        if (value.hasError())
            failed.push_back(value.propertyRef.propertyIdentifier);
    EXPECT_EQ(failed, std::vector<BACNET_PROPERTY_ID>{PROP_MODEL_NAME});
    EXPECT_EQ(readError(key(400, OBJECT_DEVICE, 400, PROP_MODEL_NAME)), DataError());

    // A service fault answers with its error, a drop fault not at all.
    EXPECT_EQ(write(key(400, OBJECT_BINARY_OUTPUT, 1, PROP_PRESENT_VALUE), 8, enumerated(1)), DENIED);
    const Poco::UInt32 before = site->getRequestCount(400);
    EXPECT_EQ(readError(key(400, OBJECT_ANALOG_INPUT, 2, PROP_PRESENT_VALUE)), TIMEOUT);
    EXPECT_EQ(site->getRequestCount(400) - before, 1u + shortTransactions().apduRetries);
    EXPECT_EQ(readError(key(400, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE)), DataError());
}

TEST_F(SimulatedSiteTest, FaultsSetAndClearedAtRunTime)
{
    const DataPropertyKey temperature = key(100, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE);
    site->setSilent(100, true);
    EXPECT_EQ(readError(temperature), TIMEOUT);
    site->setSilent(100, false);
    EXPECT_EQ(readError(temperature), DataError());

    Simulation::SimulatedFault fault;
    fault.service = Simulation::SimulatedFault::READ_PROPERTY;
    fault.property = PROP_PRESENT_VALUE;
    fault.error = BUSY;
    fault.count = 2;
    site->addFault(100, fault);
    EXPECT_EQ(readError(temperature), BUSY);
    EXPECT_EQ(readError(key(100, OBJECT_ANALOG_INPUT, 1, PROP_OBJECT_NAME)), DataError());
    EXPECT_EQ(readError(temperature), BUSY);
    EXPECT_EQ(readError(temperature), DataError());  // spent after two

    fault.count = 1000;
    site->addFault(100, fault);
    site->clearFaults(100);
    EXPECT_EQ(readError(temperature), DataError());
    EXPECT_THROW(site->setSilent(999, true), Poco::NotFoundException);
    EXPECT_THROW(site->getFirstSequenceNumber(_zone), Poco::NotFoundException);
}

TEST_F(SimulatedSiteTest, ByTimePositionAndSequenceNumber)
{
    const struct
    {
        const char* name;
        ReadRange::Range range;
        Poco::UInt32 first, items, flags;
    } cases[] = {
        // By time: records strictly newer (count > 0) or older (count < 0) than the time of record 50.
        {"newer by time", rangeOf(ReadRange::RT_BY_TIME, 3, 49), 51, 3, 0},
        {"older by time", rangeOf(ReadRange::RT_BY_TIME, -5, 49), 45, 5, 0},
        {"newer than the newest", rangeOf(ReadRange::RT_BY_TIME, 3, 100000), 0, 0, 0},
        {"back from after the newest", rangeOf(ReadRange::RT_BY_TIME, -5, 100000), 146, 5,
         ReadRangeAck::RESULT_LAST_ITEM},
        {"by position", rangeOf(ReadRange::RT_BY_POSITION, 5, 10), 10, 5, 0},
        {"back by position", rangeOf(ReadRange::RT_BY_POSITION, -3, 10), 8, 3, 0},
        {"position past the end", rangeOf(ReadRange::RT_BY_POSITION, -3, 151), 0, 0, 0},
        {"by sequence to the end", rangeOf(ReadRange::RT_BY_SEQUENCE, 20, 140), 140, 11,
         ReadRangeAck::RESULT_LAST_ITEM},
        // More records than fit: the ones nearest the reference are sent.
        {"back by sequence", rangeOf(ReadRange::RT_BY_SEQUENCE, -50, 140), 121, 20,
         ReadRangeAck::RESULT_MORE_ITEMS},
        {"all", rangeOf(ReadRange::RT_READ_ALL, 0), 1, 20,
         ReadRangeAck::RESULT_FIRST_ITEM | ReadRangeAck::RESULT_MORE_ITEMS},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.name);
        const ReadRangeAck::Result result = readRange(_log, c.range);
        EXPECT_EQ(result.firstSequenceNumber, c.first);
        EXPECT_EQ(result.itemCnt, c.items);
        EXPECT_EQ(result.resultFlags, c.flags);
        expectRecordsOfSite(_log.getObjectKey(), result);
    }
}

TEST_F(SimulatedSiteTest, PageSizeFollowsTheRecordSize)
{
    start("test-trendlogs.json");
    ReadRange::Range all = rangeOf(ReadRange::RT_READ_ALL, 0);
    EXPECT_EQ(readRange(key(3001, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER), all).itemCnt, 65u);  // 1476 octets
    EXPECT_EQ(readRange(key(2001, OBJECT_TRENDLOG, 2, PROP_LOG_BUFFER), all).itemCnt, 76u);  // binary records
    const ReadRangeAck::Result multiple =
        readRange(key(2001, OBJECT_TREND_LOG_MULTIPLE, 1, PROP_LOG_BUFFER), all);
    EXPECT_EQ(multiple.itemCnt, 50u);  // two REAL channels: 29 octets a record
    EXPECT_EQ(multiple.value.size(), 100u);
    expectRecordsOfSite(DataObjectKey(2001, DataType::ObjectIdentifier(OBJECT_TREND_LOG_MULTIPLE, 1)),
                        multiple);
}

TEST_F(SimulatedSiteTest, RingBufferKeepsTheNewestRecords)
{
    startWithText(R"({"devices": [{"instance": 9, "objects": [
        {"type": "analog-input", "instance": 1},
        {"type": "trend-log", "instance": 1, "logs": "analog-input:1",
         "log": {"start": "2026-01-01T00:00:00Z", "count": 150, "bufferSize": 100}}]}]})");
    const DataPropertyKey log = key(9, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER);
    EXPECT_EQ(read(key(9, OBJECT_TRENDLOG, 1, PROP_RECORD_COUNT)).getUInt(), 100u);
    EXPECT_EQ(read(key(9, OBJECT_TRENDLOG, 1, PROP_TOTAL_RECORD_COUNT)).getUInt(), 150u);

    // Paged by time from before the oldest record held, as the trend log export does: the records held.
    ReadRangePager pager(*helper, log, rangeOf(ReadRange::RT_BY_TIME, 0x7FFFFFF));
    ReadRangeAck::Result page;
    ASSERT_EQ(pager.next(page), ReadRangePager::PAGE);
    EXPECT_EQ(page.firstSequenceNumber, 51u);
    EXPECT_TRUE(page.resultFlags & ReadRangeAck::RESULT_FIRST_ITEM);
    Poco::UInt32 records = page.itemCnt;
    for (int pages = 1; pages < 100 && pager.next(page) == ReadRangePager::PAGE; ++pages)
        records += page.itemCnt;
    EXPECT_EQ(records, 100u);
    // Read forward in a small count: the oldest held records.
    const ReadRangeAck::Result oldest = readRange(log, rangeOf(ReadRange::RT_BY_TIME, 10));
    EXPECT_EQ(oldest.firstSequenceNumber, 51u);
    EXPECT_EQ(oldest.itemCnt, 10u);

    // By sequence number the reference record comes first: one overwritten or not yet logged matches none.
    for (const auto& [reference, items] : {std::pair<Poco::UInt32, Poco::UInt32>{50, 0}, {51, 10}, {151, 0}})
        EXPECT_EQ(readRange(log, rangeOf(ReadRange::RT_BY_SEQUENCE, 10, reference)).itemCnt, items)
            << reference;
}

TEST_F(SimulatedSiteTest, LiveLogGrowsWithTime)
{
    startWithText(R"({"devices": [{"instance": 9, "objects": [
        {"type": "analog-input", "instance": 1},
        {"type": "trend-log", "instance": 1, "logs": "analog-input:1",
         "log": {"intervalSeconds": 0.02, "count": 5, "live": true, "startSecondsAgo": 0.1}}]}]})");
    const DataObjectKey log(9, DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1));
    const Poco::UInt64 before = site->getLastSequenceNumber(log);
    ASSERT_TRUE(Orvik::Test::eventually([&] { return site->getLastSequenceNumber(log) >= before + 3; }));

    ReadRange::Range range = rangeOf(ReadRange::RT_BY_SEQUENCE, 2);
    range.refSeqNum = static_cast<Poco::UInt32>(before + 1);
    const ReadRangeAck::Result result = readRange(DataPropertyKey(log, PROP_LOG_BUFFER), range);
    EXPECT_EQ(result.itemCnt, 2u);
    expectRecordsOfSite(log, result);
}

TEST_F(SimulatedSiteTest, RequestsThatDevicesRefuse)
{
    const ReadRange::Range range = rangeOf(ReadRange::RT_BY_POSITION, 1);
    const std::tuple<DataPropertyKey, ReadRange::Range, DataError> refused[] = {
        {key(100, OBJECT_ANALOG_INPUT, 1, PROP_PRESENT_VALUE), range,
         DataError(ERROR_CLASS_SERVICES, ERROR_CODE_PROPERTY_IS_NOT_A_LIST)},
        {key(100, OBJECT_TRENDLOG, 9, PROP_LOG_BUFFER), range,
         DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT)},
        {_log, rangeOf(ReadRange::RT_BY_SEQUENCE, 0),
         DataError(ERROR_CLASS_SERVICES, ERROR_CODE_INCONSISTENT_PARAMETERS)},
        {key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER, 1), range,
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY)},
    };
    ReadRangeAck::Result page;
    for (const auto& [refusedKey, refusedRange, expected] : refused)
        EXPECT_EQ(readRange(refusedKey, refusedRange, page), expected) << expected.getString();
}

}  // namespace Orvik::BACnet::Client::Test
