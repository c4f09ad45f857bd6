// The generated enumerations and name tables: names of numbers outside the tables, and the lookup of the
// datatype a property's value carries.

#include <gtest/gtest.h>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/BACnetStackText.h"
#include "Orvik_BACnet/BACnetText.h"
#include "Orvik_BACnet/PropertyDatatypeTable.h"
#include "Orvik_BACnet/ProtocolText.h"
#include "Orvik_BACnet/ValueContainer.h"

using namespace Orvik::BACnet;

static_assert(OBJECT_TREND_LOG == 20 && OBJECT_TRENDLOG == OBJECT_TREND_LOG &&
                  OBJECT_TREND_LOG_MULTIPLE == 27 && PROP_ALL == 8 && PROP_LOG_BUFFER == 131 &&
                  PROP_MAX_PRES_VALUE == 65 && ERROR_CLASS_COMMUNICATION == 7 &&
                  ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME == 124 &&
                  BACNET_APPLICATION_TAG_ENUMERATED == 9 && MAX_DEVICE_STATUS == 6 &&
                  RESULT_FLAG_MORE_ITEMS == 2 && LOG_DATUM_TIME_CHANGE == 9 && UNITS_NO_UNITS == 95,
              "the generated enumerations carry the table numbers");

TEST(ProtocolTextTest, UnknownNumbersAndNamesAreReportedNotGuessed)
{
    EXPECT_EQ(ProtocolText::objectTypeName(200), "200");
    EXPECT_EQ(ProtocolText::propertyName(PROP_PROPRIETARY_RESET_ADJUST_VALUE), "512");
    EXPECT_EQ(ProtocolText::enumerationName("BACnetBinaryPV", 1), "active");
    EXPECT_EQ(ProtocolText::enumerationName("BACnetStatusFlags", 3), "out-of-service");
    EXPECT_EQ(ProtocolText::enumerationName("BACnetBinaryPV", 2), "");
    EXPECT_EQ(ProtocolText::enumerationName("NoSuchEnumeration", 0), "");
    std::uint32_t index = 99;
    EXPECT_FALSE(ProtocolText::propertyIndex("Present-Value", index));
    EXPECT_TRUE(Orvik::Utility::BACnetText::propertyIndex("present-value", index));
    EXPECT_EQ(index, 85u);

    EXPECT_STREQ(bactext_object_type_name(OBJECT_DEVICE), "device");
    EXPECT_STREQ(bactext_property_name(PROP_STATUS_FLAGS), "status-flags");
    EXPECT_STREQ(bactext_property_name(512), "");
    unsigned found = 0;
    EXPECT_TRUE(bactext_property_index("log-buffer", &found));
    EXPECT_EQ(found, 131u);
    EXPECT_FALSE(bactext_property_index(nullptr, &found));
    EXPECT_FALSE(bactext_property_index("no-such-property", &found));
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
