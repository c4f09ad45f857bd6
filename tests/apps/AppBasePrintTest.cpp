#include <gtest/gtest.h>

#include <sstream>

#include "Orvik_ZARoveDore/AppBase.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

std::string header(BACNET_OBJECT_TYPE objectType, BACNET_PROPERTY_ID property,
                   Poco::UInt32 arrayIndex = 0xFFFFFFFF)
{
    std::ostringstream out;
    AppBase::printPropertyHeader(out, objectType, Client::DataPropertyRef(property, arrayIndex), "\t\t");
    return out.str();
}

}  // namespace

TEST(AppBasePrint, HeadersShowNamesStructureAndArrayIndex)
{
    std::ostringstream object;
    AppBase::printObjectHeader(object, DataType::ObjectIdentifier(OBJECT_ANALOG_INPUT, 5), "\t");
    EXPECT_EQ(object.str(), "\t(0)analog-input[5]:\n");
    EXPECT_EQ(header(OBJECT_DEVICE, PROP_OBJECT_LIST, 0), "\t\t(76)object-list[COUNT] (ARRAY):\n");
    EXPECT_EQ(header(OBJECT_DEVICE, PROP_OBJECT_LIST), "\t\t(76)object-list[ALL] (ARRAY):\n");
    EXPECT_EQ(header(OBJECT_DEVICE, PROP_OBJECT_LIST, 3), "\t\t(76)object-list[3] (ARRAY):\n");
    EXPECT_EQ(header(OBJECT_DEVICE, PROP_ACTIVE_COV_SUBSCRIPTIONS),
              "\t\t(152)active-cov-subscriptions[ALL] (LIST):\n");
    EXPECT_EQ(header(OBJECT_ANALOG_INPUT, PROP_PRESENT_VALUE), "\t\t(85)present-value (SINGLE_VALUE):\n");
    EXPECT_EQ(header(OBJECT_DEVICE, PROP_PRESENT_VALUE), "\t\tUnknown BACnet property\n");
}

TEST(AppBasePrint, ValuesAreGreenAndErrorsRed)
{
    ValueContainer value;
    value.setValues(std::vector<std::uint64_t>{1, 2, 3});
    std::ostringstream out;
    AppBase::printPropertyValue(out, value, "\t");
    AppBase::printError(out, DataError(ERROR_CLASS_PROPERTY, ERROR_CODE_UNKNOWN_PROPERTY), "\t");
    EXPECT_EQ(out.str(), "\t\x1b[32m1,2,3\x1b[39m\n\t\x1b[31mproperty: unknown-property\x1b[39m\n");
}
