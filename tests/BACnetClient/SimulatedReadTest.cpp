#include "ClientFixture.h"

#include <algorithm>

namespace Orvik::BACnet::Client::Test
{

namespace
{

const DataError UNKNOWN_PROPERTY(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY);

std::vector<BACNET_PROPERTY_ID> propertiesOf(const DataResponseRPM& response)
{
    std::vector<BACNET_PROPERTY_ID> properties;
    for (const DataResponseRPM::Value& value : response.values)
        properties.push_back(value.propertyRef.propertyIdentifier);
    return properties;
}

bool contains(const std::vector<BACNET_PROPERTY_ID>& properties, BACNET_PROPERTY_ID property)
{
    return std::find(properties.begin(), properties.end(), property) != properties.end();
}

}  // namespace

class SimulatedReadTest : public ClientFixture
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
};

TEST_F(SimulatedReadTest, WholeArraysElementsTheirCountAndTheErrorsOfReadProperty)
{
    const DataType::ObjectIdentifier device(OBJECT_DEVICE, 100);
    ValueContainer value = read(DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_LIST)));
    EXPECT_EQ(value.getStructure(), BACNET_DTS_ARRAY);
    ASSERT_EQ(value.size(), 14u);  // the device object and its 13 objects, the device first
    EXPECT_EQ(value.at(0).get<DataType::ObjectIdentifier>(), device);
    EXPECT_EQ(value.at(13).get<DataType::ObjectIdentifier>(),
              DataType::ObjectIdentifier(OBJECT_STRUCTURED_VIEW, 1));
    EXPECT_EQ(read(DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_LIST, 0))).getUInt(), 14u);
    EXPECT_EQ(read(DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_LIST, 2))).getObjectIdentifier(),
              DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));

    const std::pair<DataPropertyKey, DataError> refused[] = {
        {DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_LIST, 15)),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_INVALID_ARRAY_INDEX)},
        {DataPropertyKey(100, device, DataPropertyRef(PROP_OBJECT_NAME, 1)),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_PROPERTY_IS_NOT_AN_ARRAY)},
        {key(100, OBJECT_BINARY_INPUT, 1, PROP_UNITS), UNKNOWN_PROPERTY},
        {key(100, OBJECT_ANALOG_INPUT, 99, PROP_PRESENT_VALUE),
         DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT)},
        {key(100, OBJECT_TRENDLOG, 1, PROP_LOG_BUFFER),
         DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_READ_ACCESS_DENIED)},
    };
    for (const auto& [refusedKey, expected] : refused)
        EXPECT_EQ(read(refusedKey, value), expected) << expected.getString();
}

TEST_F(SimulatedReadTest, DevicePropertiesThatThePusherReads)
{
    const std::vector<DataResponseRPM> responses =
        readMultiple(100, {NotificationRequestRPM::Parameter(
                              DataType::ObjectIdentifier(OBJECT_DEVICE, 100),
                              {DataPropertyRef(PROP_SYSTEM_STATUS), DataPropertyRef(PROP_VENDOR_IDENTIFIER),
                               DataPropertyRef(PROP_MODEL_NAME), DataPropertyRef(PROP_LOCAL_DATE),
                               DataPropertyRef(PROP_UTC_OFFSET), DataPropertyRef(PROP_LOCATION),
                               DataPropertyRef(PROP_DESCRIPTION)})});
    ASSERT_EQ(responses.size(), 1u);
    const auto& values = responses[0].values;
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values[0].value.getEnum(), 0u);  // operational
    EXPECT_EQ(values[1].value.getUInt(), 7u);
    EXPECT_EQ(values[2].value.getCharString(), "M");
    EXPECT_NE(values[3].value.getDate().year, 0);
    EXPECT_FALSE(values[4].hasError());
    EXPECT_EQ(values[5].error, UNKNOWN_PROPERTY);  // no location in the site file
    EXPECT_EQ(values[6].value.getCharString(), "Test device with every object type");
}

TEST_F(SimulatedReadTest, AllRequiredAndOptionalProperties)
{
    const DataType::ObjectIdentifier output(OBJECT_ANALOG_OUTPUT, 1);
    const std::vector<DataResponseRPM> responses =
        readMultiple(100, {NotificationRequestRPM::Parameter(output, {DataPropertyRef(PROP_ALL)}),
                           NotificationRequestRPM::Parameter(output, {DataPropertyRef(PROP_REQUIRED)}),
                           NotificationRequestRPM::Parameter(output, {DataPropertyRef(PROP_OPTIONAL)})});
    ASSERT_EQ(responses.size(), 3u);
    const auto all = propertiesOf(responses[0]);
    const auto required = propertiesOf(responses[1]);
    const auto optional = propertiesOf(responses[2]);
    for (BACNET_PROPERTY_ID property :
         {PROP_OBJECT_IDENTIFIER, PROP_OBJECT_NAME, PROP_OBJECT_TYPE, PROP_PRESENT_VALUE, PROP_STATUS_FLAGS,
          PROP_PRIORITY_ARRAY, PROP_RELINQUISH_DEFAULT, PROP_UNITS})
    {
        EXPECT_TRUE(contains(all, property)) << property;
        EXPECT_TRUE(contains(required, property)) << property;
    }
    EXPECT_TRUE(contains(optional, PROP_COV_INCREMENT));
    EXPECT_FALSE(contains(required, PROP_COV_INCREMENT));
    EXPECT_EQ(all.size(), required.size() + optional.size());
    for (const DataResponseRPM::Value& value : responses[0].values)
        EXPECT_FALSE(value.hasError()) << value.propertyRef.propertyIdentifier;

    // property-list names every property except the four that each object has.
    const auto pList =
        std::find_if(responses[0].values.begin(), responses[0].values.end(),
                     [](const auto& v) { return v.propertyRef.propertyIdentifier == PROP_PROPERTY_LIST; });
    ASSERT_NE(pList, responses[0].values.end());
    EXPECT_EQ(pList->value.size(), all.size() - 4);
}

TEST_F(SimulatedReadTest, AllPropertiesOfATrendLogReportTheLogBufferAsUnreadable)
{
    const std::vector<DataResponseRPM> responses =
        readMultiple(100, {NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_TRENDLOG, 1),
                                                             {DataPropertyRef(PROP_ALL)})});
    ASSERT_EQ(responses.size(), 1u);
    bool sawBuffer = false;
    for (const DataResponseRPM::Value& value : responses[0].values)
    {
        if (value.propertyRef.propertyIdentifier == PROP_LOG_BUFFER)
        {
            sawBuffer = true;
            EXPECT_EQ(value.error, DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_READ_ACCESS_DENIED));
        }
        else if (value.propertyRef.propertyIdentifier == PROP_RECORD_COUNT ||
                 value.propertyRef.propertyIdentifier == PROP_TOTAL_RECORD_COUNT)
        {
            EXPECT_EQ(value.value.getUInt(), 150u);
        }
        else if (value.propertyRef.propertyIdentifier == PROP_LOG_DEVICE_OBJECT_PROPERTY)
        {
            const auto& reference = value.value.at(0).get<DataType::BACnetDeviceObjectPropertyReference>();
            EXPECT_EQ(reference.getObjectIdentifier(), DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
            EXPECT_FALSE(reference.hasDevice());
        }
    }
    EXPECT_TRUE(sawBuffer);
}

TEST_F(SimulatedReadTest, PerPropertyAndPerObjectErrorsInOneReply)
{
    const std::vector<DataResponseRPM> responses = readMultiple(
        100,
        {NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_BINARY_INPUT, 1),
                                           {DataPropertyRef(PROP_OBJECT_NAME), DataPropertyRef(PROP_UNITS),
                                            DataPropertyRef(PROP_PRESENT_VALUE)}),
         NotificationRequestRPM::Parameter(DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 42),
                                           {DataPropertyRef(PROP_ALL)})});
    ASSERT_EQ(responses.size(), 2u);
    ASSERT_EQ(responses[0].values.size(), 3u);
    EXPECT_EQ(responses[0].values[0].value.getCharString(), "Window Contact");
    EXPECT_EQ(responses[0].values[1].error, UNKNOWN_PROPERTY);
    EXPECT_GE(responses[0].values[1].error.errorClass, ERROR_CLASS_DEVICE);
    EXPECT_FALSE(responses[0].values[2].hasError());
    EXPECT_EQ(responses[0].values[2].error.errorClass, MAX_BACNET_ERROR_CLASS);
    ASSERT_EQ(responses[1].values.size(), 1u);
    EXPECT_EQ(responses[1].values[0].error, DataError(ERROR_CLASS_OBJECT, ERROR_CODE_UNKNOWN_OBJECT));
}

TEST_F(SimulatedReadTest, TrendLogMultipleAndStructuredViewReferences)
{
    std::vector<DataType::BACnetDeviceObjectPropertyReference> references;
    read(key(100, OBJECT_TREND_LOG_MULTIPLE, 1, PROP_LOG_DEVICE_OBJECT_PROPERTY)).getValues(references);
    ASSERT_EQ(references.size(), 2u);
    EXPECT_FALSE(references[0].hasDevice());
    EXPECT_EQ(references[1].getDeviceIdentifier(), DataType::ObjectIdentifier(OBJECT_DEVICE, 200));

    const ValueContainer value = read(key(100, OBJECT_STRUCTURED_VIEW, 1, PROP_SUBORDINATE_LIST, 3));
    const auto& subordinate = value.at(0).get<DataType::BACnetDeviceObjectReference>();
    EXPECT_EQ(subordinate.getDeviceInstance(), 200u);
    EXPECT_EQ(subordinate.getObjectIdentifier(), DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 1));
}

}  // namespace Orvik::BACnet::Client::Test
