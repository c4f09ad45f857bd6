// The compiled-in name tables against the CSV files they come from, and the generated enumerations.

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "Orvik_BACnet/BACnetEnums.h"
#include "Orvik_BACnet/BACnetStackText.h"
#include "Orvik_BACnet/BACnetText.h"
#include "Orvik_BACnet/ProtocolText.h"

using namespace Orvik::BACnet;

namespace
{

/// Checks every "number,name" row of a CSV file against a name function and an index function.
void expectTableMatches(const std::string& file, std::string (*name)(std::uint32_t),
                        bool (*index)(const std::string&, std::uint32_t&))
{
    std::ifstream csv(std::string(ORVIK_SOURCE_DIR) + "/data/bacnet/" + file);
    ASSERT_TRUE(csv.good()) << file;
    std::string line;
    std::getline(csv, line);  // header
    int rows = 0;
    while (std::getline(csv, line))
    {
        const std::size_t comma = line.find(',');
        const std::uint32_t number = static_cast<std::uint32_t>(std::stoul(line.substr(0, comma)));
        const std::string text = line.substr(comma + 1);
        EXPECT_EQ(name(number), text) << file;
        std::uint32_t found = 0;
        EXPECT_TRUE(index(text, found)) << text;
        EXPECT_EQ(found, number) << text;
        ++rows;
    }
    EXPECT_GT(rows, 0) << file;
}

}  // namespace

TEST(ProtocolTextTest, NamesMatchEveryRowOfTheTables)
{
    expectTableMatches("object-types.csv", &ProtocolText::objectTypeName, &ProtocolText::objectTypeIndex);
    expectTableMatches("property-ids.csv", &ProtocolText::propertyName, &ProtocolText::propertyIndex);
    expectTableMatches("engineering-units.csv", &ProtocolText::engineeringUnitName,
                       &ProtocolText::engineeringUnitIndex);
    expectTableMatches("error-classes.csv", &ProtocolText::errorClassName, &ProtocolText::errorClassIndex);
    expectTableMatches("error-codes.csv", &ProtocolText::errorCodeName, &ProtocolText::errorCodeIndex);
}

TEST(ProtocolTextTest, GeneratedEnumerationsCarryTheTableNumbers)
{
    EXPECT_EQ(OBJECT_TREND_LOG, 20u);
    EXPECT_EQ(OBJECT_TRENDLOG, OBJECT_TREND_LOG);
    EXPECT_EQ(OBJECT_TREND_LOG_MULTIPLE, 27u);
    EXPECT_EQ(PROP_ALL, 8u);
    EXPECT_EQ(PROP_LOG_BUFFER, 131u);
    EXPECT_EQ(PROP_MAX_PRES_VALUE, 65u);
    EXPECT_EQ(ERROR_CLASS_COMMUNICATION, 7u);
    EXPECT_EQ(ERROR_CODE_ABORT_APPLICATION_EXCEEDED_REPLY_TIME, 124u);
    EXPECT_EQ(BACNET_APPLICATION_TAG_ENUMERATED, 9u);
    EXPECT_EQ(MAX_DEVICE_STATUS, 6u);
    EXPECT_EQ(RESULT_FLAG_MORE_ITEMS, 2u);
    EXPECT_EQ(LOG_DATUM_TIME_CHANGE, 9u);
    EXPECT_EQ(UNITS_NO_UNITS, 95u);
}

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
