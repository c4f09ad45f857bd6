// Reading a site file: every site file of the project loads, and each problem names the file, the place
// and what is expected.
#include "Orvik_BACnetDevice/Site.h"

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/Path.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace Orvik::BACnet::Device::Test
{

namespace
{

/// The message of the DataFormatException that reading `text` throws ("" when none).
std::string problemOf(const std::string& text)
{
    try
    {
        Site::parse(text, "bad.json");
    }
    catch (const Poco::DataFormatException& e)
    {
        return e.message();
    }
    return "";
}

std::string withObject(const std::string& object)
{
    return R"({"devices": [{"instance": 1, "objects": [{"type": "analog-input", "instance": 1}, )" + object +
           "]}]}";
}

}  // namespace

TEST(SiteFileTest, EverySiteFileOfTheProjectLoads)
{
    int files = 0;
    for (Poco::DirectoryIterator it(std::string(ORVIK_SOURCE_DIR) + "/sites");
         it != Poco::DirectoryIterator(); ++it)
    {
        if (Poco::Path(it.path()).getExtension() != "json")
            continue;
        ++files;
        EXPECT_NO_THROW(Site::load(it.path().toString())) << it.name();
    }
    EXPECT_GE(files, 5);
}

TEST(SiteFileTest, DemoSiteHoldsTheGatewayAndLiveDevices)
{
    const auto site = Site::load(std::string(ORVIK_SOURCE_DIR) + "/sites/demo.json");
    EXPECT_EQ(site->getDeviceInstances(), (std::vector<Poco::UInt32>{1001, 2001, 3001, 266771}));
    ValueContainer value;
    ASSERT_FALSE(site->readProperty(1001, DataType::ObjectIdentifier(OBJECT_DEVICE, 1001),
                                    Codec::PropertyReference{PROP_VENDOR_IDENTIFIER}, value)
                     .hasError());
    EXPECT_EQ(value.getUInt(), 64701u);
    const DataType::ObjectIdentifier log(OBJECT_TRENDLOG, 22);
    EXPECT_EQ(site->getLastSequenceNumber(266771, log) - site->getFirstSequenceNumber(266771, log) + 1, 120u);
}

TEST(SiteFileTest, ProblemsNameTheFileThePlaceAndWhatIsExpected)
{
    const std::pair<std::string, std::string> sites[] = {
        {"[]", "bad.json: the site is not a JSON object"},
        {R"({"devices": [{"name": "x"}]})", "bad.json: devices[0]: \"instance\" missing"},
        {R"({"devices": [{"instance": 1}, {"instance": 1}]})",
         "bad.json: devices: Device 1 twice in the site"},
        {R"({"devices": [{"instance": 1, "faults": {"errors": [{"errorClass": "device"}]}}]})",
         "bad.json: devices[0].faults.errors[0]: \"errorClass\" and \"errorCode\" go together (neither: the "
         "request is dropped)"},
        {R"({"devices": [{"instance": true}]})", "bad.json: devices[0].instance: a whole number is expected"},
        {R"({"devices": [{"instance": 1, "segmentation": "segmented-both"}]})",
         "bad.json: devices[0].segmentation: unknown segmentation \"segmented-both\" (segmented-transmit or "
         "no-segmentation)"},
        // What the file says reaches a log line only as printable ASCII, and a long text only in part.
        {"{\"devices\": [{\"instance\": 1, \"segmentation\": \"a\\r\\nb\"}]}",
         "bad.json: devices[0].segmentation: unknown segmentation \"a\\x0D\\x0Ab\" (segmented-transmit or "
         "no-segmentation)"},
        {R"({"devices": [{"instance": 1, "objects": [{"type": ")" + std::string(41, 'x') +
             R"(", "instance": 1}]}]})",
         "bad.json: devices[0].objects[0]: unknown object type \"" + std::string(40, 'x') +
             "\" (the first 40 of 41 bytes)"},
        {R"({"devices": [{"instance": 1001.7}]})",
         "bad.json: devices[0].instance: a whole number is expected"},
        {R"({"devices": [{"instance": 18446744073709551616}]})",
         "bad.json: devices[0].instance: 18446744073709551616 is out of range 0 to 4194302"},
        {R"({"tickMs": null, "devices": []})", "bad.json: tickMs: a whole number is expected"},
        {R"({"networks": [{"frameDelayMs": 40}]})",
         "bad.json: networks[0]: \"network\" missing: the network number"},
        {R"({"networks": [{"network": 5}], "devices": [{"instance": 1}]})",
         "bad.json: networks[0].network: no device is on network 5"},
        {R"({"networks": [{"network": 5}, {"network": 5}], "devices": [{"instance": 1, "network": 5, "mac": "0a"}]})",
         "bad.json: networks[1].network: network 5 is given twice"},
        {R"({"networks": [{"network": 5, "frameDelayMs": 60001}], "devices": [{"instance": 1, "network": 5, "mac": "0a"}]})",
         "bad.json: networks[0].frameDelayMs: 60001 is out of range 0 to 60000"},
        {"{\"devices\": [{\"instance\": 1, \"name\": \"Gate\xff\"}]}",
         "bad.json: line 1, column 43 (byte 0xFF): not UTF-8 text; a site file is JSON in UTF-8"},
    };
    for (const auto& [text, expected] : sites)
        EXPECT_EQ(problemOf(text), expected) << text;
    // The parser quotes the byte it stopped at (past the end: 0xFF); the message stays printable ASCII.
    for (const std::string truncated : {"{", "{\"devices\": [1, \x01"})
    {
        const std::string problem = problemOf(truncated);
        EXPECT_EQ(problem.rfind("bad.json: not valid JSON", 0), 0u) << problem;
        EXPECT_TRUE(std::all_of(problem.begin(), problem.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
            << problem;
    }

    // A second object of a device, and what follows "bad.json: devices[0].objects[1]" ("" when it loads).
    const std::pair<const char*, const char*> objects[] = {
        {R"("type": "analog-inptu", "instance": 2)", ": unknown object type \"analog-inptu\""},
        {R"("type": "analog-input", "instance": 1)", ": Object analog-input:1 twice in one device"},
        {R"("type": "schedule", "instance": 1)", ".type: object type not simulated: schedule"},
        {R"("type": "binary-value", "instance": 1, "presentValue": "maybe")",
         ".presentValue: not a value of BACnetBinaryPV: \"maybe\""},
        {R"("type": "multi-state-value", "instance": 1, "presentValue": 4)",
         ".presentValue: property: value-out-of-range"},
        {R"("type": "analog-output", "instance": 1, "drift": {})",
         ".drift: a commandable object takes its value from writes; it cannot drift"},
        {R"("type": "trend-log", "instance": 1)", ": \"logs\" missing: the logged property"},
        {R"("type": "trend-log", "instance": 1, "logs": "analog-input:1/speed")",
         ".logs: unknown property \"speed\""},
        {R"("type": "trend-log", "instance": 1, "logs": "analog-input:1", "log": {"intervalSeconds": 0})",
         ".log.intervalSeconds: 0 is out of range 0.01 to 100000000"},
        {R"("type": "analog-input", "instance": 2, "properties": {"present-value": 1})",
         ".properties.present-value: the simulation computes this property; it cannot be given a fixed "
         "value"},
        {R"("type": "analog-input", "instance": 2, "properties": {"description": 5})",
         ".properties.description: a text is expected"},
        {R"("type": "analog-value", "instance": true)", ".instance: a whole number is expected"},
        {R"("type": "accumulator", "instance": 1, "presentValue": 99999999999999999999999)",
         ".presentValue: 99999999999999999999... is out of range 0 to 18446744073709551615"},
        {R"("type": "accumulator", "instance": 1, "presentValue": -1)",
         ".presentValue: -1 is out of range 0 to 18446744073709551615"},
        {R"("type": "accumulator", "instance": 1, "presentValue": 18446744073709551615)", ""},
        {R"("type": "analog-value", "instance": 1, "presentValue": true)",
         ".presentValue: a number is expected"},
        {R"("type": "analog-value", "instance": 1, "presentValue": 1e300)",
         ".presentValue: 1e+300 is out of range of REAL, -3.40282e+38 to 3.40282e+38"},
        {R"("type": "binary-value", "instance": 1, "presentValue": null)",
         ".presentValue: a value is expected, not null (leave it out for the default)"},
        {R"("type": "analog-value", "instance": 1, "units": null)",
         ".units: a name or number of BACnetEngineeringUnits is expected"},
        {R"("type": "analog-value", "instance": 1, "units": 18446744073709551615)",
         ".units: 18446744073709551615 is out of range 0 to 4294967295"},
        {R"("type": "binary-input", "instance": 1, "sensor": {"path": "/tmp/t"})",
         ".sensor: only an analog or pulse converter object reads a sensor"},
        {R"("type": "analog-value", "instance": 1, "sensor": {"scale": 2})",
         ".sensor: the value of a commandable or drifting object cannot come from a sensor"},
        {R"("type": "analog-input", "instance": 2, "sensor": {"path": ""})",
         ".sensor.path: the file to read is expected"},
        {R"("type": "trend-log", "instance": 1, "logs": "device:2/analog-input:1", "record": {})",
         ".record: only the gateway's own device records trend logs (orvik-gateway --bacnet-ip)"},
        {R"("type": "analog-value", "instance": 1, "properties": {"time-delay": 1.5})",
         ".properties.time-delay: a whole number is expected"},
        {R"("type": "analog-value", "instance": 1, "properties": {"time-delay": 18446744073709551615})", ""},
    };
    for (const auto& [members, expected] : objects)
    {
        const std::string problem = problemOf(withObject("{" + std::string(members) + "}"));
        EXPECT_EQ(problem, *expected == 0 ? "" : "bad.json: devices[0].objects[1]" + std::string(expected))
            << members;
    }

    const std::string folder = std::string(ORVIK_SOURCE_DIR) + "/sites";
    try
    {
        Site::load(folder);
        ADD_FAILURE() << "a folder loaded as a site";
    }
    catch (const Poco::DataFormatException& e)
    {
        EXPECT_EQ(e.message(), folder + ": a folder, not a site file");
    }
    EXPECT_THROW(Site::load("/nonexistent/site.json"), Poco::FileNotFoundException);
}

TEST(SiteFileTest, ExtraPropertiesTakeTheDatatypeOfTheStandard)
{
    const auto site = Site::parse(withObject(R"({"type": "analog-value", "instance": 1, "properties":
            {"description": "Setpoint", "high-limit": 30, "event-enable": [true, false, true]}})"),
                                  "extra.json");
    const DataType::ObjectIdentifier value(OBJECT_ANALOG_VALUE, 1);
    ValueContainer read;
    ASSERT_FALSE(site->readProperty(1, value, Codec::PropertyReference{PROP_HIGH_LIMIT}, read).hasError());
    EXPECT_EQ(read.getDataType(), BACNET_DT_REAL);
    EXPECT_FLOAT_EQ(read.getReal(), 30.0f);
    ASSERT_FALSE(site->readProperty(1, value, Codec::PropertyReference{PROP_EVENT_ENABLE}, read).hasError());
    DataType::BitString bits(3);
    read.getBitString(bits);
    EXPECT_TRUE(bits.getBit(0));
    EXPECT_FALSE(bits.getBit(1));
}

}  // namespace Orvik::BACnet::Device::Test
