// The compiled-in property datatype table against every row of property-datatypes.csv.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ProtocolText.h"

using namespace Orvik::BACnet;

namespace
{

std::vector<std::string> fields(const std::string& line)
{
    std::vector<std::string> result;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, ','))
    {
        result.push_back(field);
    }
    if (!line.empty() && line.back() == ',')
    {
        result.emplace_back();
    }
    return result;
}

}  // namespace

TEST(PropertyDatatypeTableTest, EveryRowOfTheTableIsFoundWithItsStructureAndConformance)
{
    std::ifstream csv(std::string(ORVIK_SOURCE_DIR) + "/data/bacnet/property-datatypes.csv");
    ASSERT_TRUE(csv.good());
    std::string line;
    std::getline(csv, line);
    int rows = 0;
    while (std::getline(csv, line))
    {
        const std::vector<std::string> row = fields(line);
        ASSERT_EQ(row.size(), 6u) << line;
        std::uint32_t objectType = 0;
        std::uint32_t property = 0;
        ASSERT_TRUE(ProtocolText::objectTypeIndex(row[0], objectType)) << line;
        ASSERT_TRUE(ProtocolText::propertyIndex(row[1], property)) << line;
        const PropertyDatatype* found = PropertyDatatypeTable::find(objectType, property);
        ASSERT_NE(found, nullptr) << line;
        const BACNET_DATATYPE_STRUCTURE structure = row[3] == "array"  ? BACNET_DTS_ARRAY
                                                    : row[3] == "list" ? BACNET_DTS_LIST
                                                                       : BACNET_DTS_SINGLE_VALUE;
        EXPECT_EQ(found->structure, structure) << line;
        EXPECT_EQ(found->required, row[5] == "R") << line;
        if (row[2] != "BACnetPriorityValue" && row[2].rfind("BACnetOptional", 0) != 0)
        {
            EXPECT_STREQ(BACnetDataTypeInfo::name(found->dataType), row[2].c_str()) << line;
        }
        if (BACnetDataTypeInfo::isPrimitive(found->dataType))
        {
            EXPECT_EQ(static_cast<std::uint32_t>(found->appTag), static_cast<std::uint32_t>(found->dataType))
                << line;
        }
        ++rows;
    }
    EXPECT_EQ(rows, 1263);
    EXPECT_TRUE(PropertyDatatypeTable::coversObjectType(OBJECT_TREND_LOG));
    EXPECT_FALSE(PropertyDatatypeTable::coversObjectType(OBJECT_NETWORK_PORT));
}

TEST(PropertyDatatypeTableTest, OptionalAndPriorityValuesCarryTheirValuesDatatype)
{
    const PropertyDatatype* binaryInterface =
        PropertyDatatypeTable::find(OBJECT_BINARY_INPUT, PROP_INTERFACE_VALUE);
    ASSERT_NE(binaryInterface, nullptr);
    EXPECT_EQ(binaryInterface->dataType, BACNET_DT_ENUMERATED);
    EXPECT_EQ(binaryInterface->enumeration, "BACnetBinaryPV");
    EXPECT_TRUE(binaryInterface->nullable);

    const PropertyDatatype* multiStatePriorities =
        PropertyDatatypeTable::find(OBJECT_MULTI_STATE_OUTPUT, PROP_PRIORITY_ARRAY);
    ASSERT_NE(multiStatePriorities, nullptr);
    EXPECT_EQ(multiStatePriorities->dataType, BACNET_DT_UNSIGNED);

    const PropertyDatatype* schedule = PropertyDatatypeTable::find(OBJECT_SCHEDULE, PROP_PRESENT_VALUE);
    ASSERT_NE(schedule, nullptr);
    EXPECT_EQ(schedule->dataType, BACNET_DT_ANY);
    EXPECT_EQ(schedule->appTag, MAX_BACNET_APPLICATION_TAG);

    const PropertyDatatype* eventTimeStamps =
        PropertyDatatypeTable::find(OBJECT_ANALOG_INPUT, PROP_EVENT_TIME_STAMPS);
    ASSERT_NE(eventTimeStamps, nullptr);
    EXPECT_EQ(eventTimeStamps->dataType, BACNET_DT_TIME_STAMP);
    EXPECT_EQ(eventTimeStamps->arraySize, 3u);
    EXPECT_FALSE(BACnetDataTypeInfo::isHoldable(
        PropertyDatatypeTable::find(OBJECT_DEVICE, PROP_DEVICE_ADDRESS_BINDING)->dataType));
}
