#include <gtest/gtest.h>

#include "LogCapture.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"
#include "TestDatabase.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;
using Orvik::Test::LogCapture;
using Orvik::Test::TestDatabase;
using Texts = std::vector<std::string>;

namespace
{

const Poco::UInt32 WHOLE_VALUE = 0xFFFFFFFF;
const Poco::Int32 NAME = 1;
const Poco::Int32 LIMITS = 2;
const Poco::Int32 PERIOD = 3;

ValueContainer unsignedValue(std::uint64_t number)
{
    ValueContainer value;
    value.setUInt(number);
    return value;
}

class ParameterReader : public AppBase
{
public:
    using AppBase::AppBase;
    bool descRun() override { return false; }
};

class AppParameterStorageTest : public testing::Test
{
protected:
    Texts texts(Poco::Int32 idAppInstance)
    {
        std::vector<ValueContainer> values{unsignedValue(99)};
        Texts result;
        for (const ValueContainer& value : ParameterReader(idAppInstance).getProperties(values))
            result.push_back(value.getText());
        return result;
    }

    TestDatabase _db{TestDatabase::Apps::none};
    LogCapture _log;
    const Poco::Int32 _app = _db.addApp(OWN_VENDOR_ID, 950, "Parameters");
    // Defined out of order: the read orders by parameter number.
    const Poco::Int32 _period = _db.addParameter(_app, PERIOD, BACNET_DT_UNSIGNED, 2, "30");
    const Poco::Int32 _name = _db.addParameter(_app, NAME, BACNET_DT_CHARACTER_STRING, 7, "default name");
    const Poco::Int32 _limits = _db.addParameter(_app, LIMITS, BACNET_DT_UNSIGNED, 2, "[1, 2, 3]");
    const Poco::Int32 _instance = _db.addInstance(_app, 1, true);
};

}  // namespace

TEST_F(AppParameterStorageTest, DefaultsInParameterOrderUnlessAValueOfTheInstanceIsStored)
{
    std::vector<DataPropertyValue> props(2);
    ParameterReader(_instance).getProperties(props);
    ASSERT_EQ(props.size(), 3u);
    EXPECT_EQ(props[0].idInstance, NAME);
    EXPECT_EQ(props[1].idInstance, LIMITS);
    EXPECT_EQ(props[2].idInstance, PERIOD);
    EXPECT_EQ(props[2].idEngUnit, DataPropertyValue::_NO_UNITS);
    EXPECT_EQ(texts(_instance), (Texts{"default name", "[1, 2, 3]", "30"}));

    // Stored values win, a stored NULL reads as empty, and each instance reads only its own values.
    const Poco::Int32 second = _db.addInstance(_app, 2, true);
    const Poco::Int32 third = _db.addInstance(_app, 3, true);
    _db.storeValue(_instance, _name, std::string("first"));
    _db.storeValue(_instance, _period, Poco::Nullable<std::string>());
    _db.storeValue(second, _name, std::string("second"));
    EXPECT_EQ(texts(_instance), (Texts{"first", "[1, 2, 3]", ""}));
    EXPECT_EQ(texts(second)[0], "second");
    EXPECT_EQ(texts(third), (Texts{"default name", "[1, 2, 3]", "30"}));
    DataPropertyValue name;
    EXPECT_EQ(AppBase::dbGetPropertyInstance(third, NAME, name), 1);
    EXPECT_EQ(AppBase::dbGetPropertyInstance(third, 99, name), 0);
    EXPECT_EQ(name.getCharString(), "default name");
}

TEST_F(AppParameterStorageTest, UpdateOfTheWholeValueInsertsAMissingRowThenReplacesIt)
{
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, PERIOD, unsignedValue(42), WHOLE_VALUE), 1);
    EXPECT_EQ(_db.storedValue(_instance, _period).value(), "42");
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, PERIOD, unsignedValue(43), WHOLE_VALUE), 0);
    EXPECT_EQ(texts(_instance)[2], "43");
}

TEST_F(AppParameterStorageTest, ElementUpdatesMergeIntoAStoredValueOnlyACountChangeResizesIt)
{
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_TRUE(_db.storedValue(_instance, _limits).isNull());

    _db.storeValue(_instance, _limits, std::string("[1,2,3]"));
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_EQ(texts(_instance)[1], "[1, 9, 3]");

    // A merge that changes nothing writes nothing: the hand-written text stays as it is.
    _db.session() << "UPDATE ap_app_property_instance SET value='[1,9,3]'", Poco::Data::Keywords::now;
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_EQ(_db.storedValue(_instance, _limits).value(), "[1,9,3]");

    // A count change without a stored row stores the resized value.
    const Poco::Int32 other = _db.addInstance(_app, 2, true);
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(other, LIMITS, unsignedValue(5), 0), 1);
    EXPECT_EQ(texts(other)[1], "[1, 2, 3, 0, 0]");
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(other, LIMITS, unsignedValue(2), 0), 0);
    EXPECT_EQ(texts(other)[1], "[1, 2]");
}

TEST_F(AppParameterStorageTest, AFailedWriteReturnsMinusOneAndIsLogged)
{
    EXPECT_EQ(AppBase::dbInsertPropertyInstance(4711, PERIOD, unsignedValue(1)), -1);
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(4711, PERIOD, unsignedValue(1), WHOLE_VALUE), -1);
    EXPECT_EQ(_log.linesOf(3040).size(), 2u);
}

TEST_F(AppParameterStorageTest, TheOwnDeviceIsTheLowestDeviceOfTheControllerNotBehindAGateway)
{
    EXPECT_EQ(AppBase::dbGetParentBACnetDeviceInstance(_instance), 0u);
    _db.exec("INSERT INTO dv_controller (id_dv_controller,name) VALUES(2,'other')");
    // Devices 300 and 200, 100 behind a gateway, 50 of another controller, an object 10 that is no device.
    _db.exec(
        R"(INSERT INTO bn_device (id_bn_device,id_dv_controller,id_bn_gw) VALUES (1,1,NULL),(2,1,NULL),(3,1,1),(4,2,NULL),(5,1,NULL);
INSERT INTO bn_device_object (id_bn_device,id_bn_object_type,instance_nr) VALUES (1,8,300),(2,8,200),(3,8,100),(4,8,50),(5,0,10);)");
    EXPECT_EQ(AppBase::dbGetParentBACnetDeviceInstance(_instance), 200u);
}
