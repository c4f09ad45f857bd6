// The compiled-in property datatype table against every row of property-datatypes.csv, and the lookup of
// the datatype a property's value carries.

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnet/ValueContainer.h"

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

TEST(PropertyDatatypeTableTest, LookupGivesTheDatatypeAValueCarries)
{
    struct Row
    {
        const char* name;
        BACNET_OBJECT_TYPE objectType;
        BACNET_PROPERTY_ID property;
        BACnetDataType dataType;  ///< BACNET_DT_NULL: not found
        BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
    };
    const Row rows[] = {
        {"analog present value", OBJECT_ANALOG_OUTPUT, PROP_PRESENT_VALUE, BACNET_DT_REAL},
        {"binary present value", OBJECT_BINARY_OUTPUT, PROP_PRESENT_VALUE, BACNET_DT_ENUMERATED},
        {"object list", OBJECT_DEVICE, PROP_OBJECT_LIST, BACNET_DT_OBJECT_IDENTIFIER, BACNET_DTS_ARRAY},
        {"log buffer", OBJECT_TRENDLOG, PROP_LOG_BUFFER, BACNET_DT_LOG_RECORD, BACNET_DTS_LIST},
        {"logged references", OBJECT_TREND_LOG_MULTIPLE, PROP_LOG_DEVICE_OBJECT_PROPERTY,
         BACNET_DT_DEVICE_OBJECT_PROPERTY_REFERENCE, BACNET_DTS_ARRAY},
        {"optional binary value", OBJECT_BINARY_INPUT, PROP_INTERFACE_VALUE, BACNET_DT_ENUMERATED},
        {"priority values", OBJECT_MULTI_STATE_OUTPUT, PROP_PRIORITY_ARRAY, BACNET_DT_UNSIGNED,
         BACNET_DTS_ARRAY},
        {"any value", OBJECT_SCHEDULE, PROP_PRESENT_VALUE, BACNET_DT_ANY},
        {"time stamps", OBJECT_ANALOG_INPUT, PROP_EVENT_TIME_STAMPS, BACNET_DT_TIME_STAMP, BACNET_DTS_ARRAY},
        // an object type the table does not cover: the property's datatype where all types agree
        {"uncovered type, agreed datatype", OBJECT_NETWORK_PORT, PROP_OBJECT_NAME,
         BACNET_DT_CHARACTER_STRING},
        {"uncovered type, datatypes differ", OBJECT_NETWORK_PORT, PROP_PRESENT_VALUE, BACNET_DT_NULL},
        {"no property", OBJECT_DEVICE, PROP_ALL, BACNET_DT_NULL},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE(row.name);
        BACnetDataType dataType = BACNET_DT_NULL;
        BACNET_APPLICATION_TAG appTag = BACNET_APPLICATION_TAG_NULL;
        BACNET_DATATYPE_STRUCTURE structure = BACNET_DTS_SINGLE_VALUE;
        const bool found = ValueContainer::getValueTypeAndStructure(row.objectType, row.property, dataType,
                                                                    appTag, structure);
        ASSERT_EQ(found, row.dataType != BACNET_DT_NULL);
        if (!found)
            continue;
        EXPECT_EQ(dataType, row.dataType);
        EXPECT_EQ(appTag, BACnetDataTypeInfo::applicationTag(dataType, MAX_BACNET_APPLICATION_TAG));
        EXPECT_EQ(structure, row.structure);
    }

    const PropertyDatatype* priorities =
        PropertyDatatypeTable::find(OBJECT_ANALOG_OUTPUT, PROP_PRIORITY_ARRAY);
    EXPECT_EQ(priorities->dataType, BACNET_DT_REAL);  // the priority values carry present-value's datatype
    EXPECT_TRUE(priorities->nullable);
    EXPECT_EQ(priorities->arraySize, 16u);
    EXPECT_EQ(PropertyDatatypeTable::find(OBJECT_ANALOG_INPUT, PROP_EVENT_TIME_STAMPS)->arraySize, 3u);
    EXPECT_EQ(PropertyDatatypeTable::find(OBJECT_ANALOG_INPUT, PROP_UNITS)->enumeration,
              "BACnetEngineeringUnits");
    const PropertyDatatype* binaryInterface =
        PropertyDatatypeTable::find(OBJECT_BINARY_INPUT, PROP_INTERFACE_VALUE);
    EXPECT_EQ(binaryInterface->enumeration, "BACnetBinaryPV");
    EXPECT_TRUE(binaryInterface->nullable);
    EXPECT_FALSE(BACnetDataTypeInfo::isHoldable(
        PropertyDatatypeTable::find(OBJECT_DEVICE, PROP_DEVICE_ADDRESS_BINDING)->dataType));
}
