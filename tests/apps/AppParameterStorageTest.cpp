#include <gtest/gtest.h>

#include <vector>

#include "AppTestDatabase.h"
#include "LogCapture.h"
#include "Orvik_ZARoveDore/AppBase.h"
#include "Orvik_ZARoveDore/AppManager.h"

using namespace Orvik::BACnet;
using namespace Orvik::BACnet::App;

namespace
{

const Poco::UInt32 WHOLE_VALUE = 0xFFFFFFFF;
const Poco::Int32 PARAMETERS_APP = 950;
const Poco::Int32 NAME = 1;
const Poco::Int32 LIMITS = 2;
const Poco::Int32 PERIOD = 3;

ValueContainer unsignedValue(std::uint64_t number)
{
    ValueContainer value;
    value.setUInt(number);
    return value;
}

/// An app instance that only reads its parameters.
class ParameterReader : public AppBase
{
public:
    using AppBase::AppBase;
    bool descRun() override { return false; }
};

class AppParameterStorageTest : public testing::Test
{
protected:
    AppParameterStorageTest()
        : _app(_db.addApp(OWN_VENDOR_ID, PARAMETERS_APP, "Parameters")),
          _period(_db.addParameter(_app, PERIOD, BACNET_DT_UNSIGNED, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER,
                                   "30")),
          _name(_db.addParameter(_app, NAME, BACNET_DT_CHARACTER_STRING,
                                 BACNET_APPLICATION_TAG_CHARACTER_STRING, "default name")),
          _limits(_db.addParameter(_app, LIMITS, BACNET_DT_UNSIGNED, BACNET_APPLICATION_TAG_UNSIGNED_INTEGER,
                                   "[1, 2, 3]")),
          _instance(_db.addInstance(_app, 1, true))
    {
    }

    std::vector<std::string> texts(Poco::Int32 idAppInstance)
    {
        std::vector<ValueContainer> values{unsignedValue(99)};
        ParameterReader(idAppInstance).getProperties(values);
        std::vector<std::string> result;
        for (const ValueContainer& value : values)
        {
            result.push_back(value.getText());
        }
        return result;
    }

    std::vector<std::uint64_t> limits(Poco::Int32 idAppInstance)
    {
        ValueContainer value;
        EXPECT_EQ(AppBase::dbGetPropertyInstance(idAppInstance, LIMITS, value), 1);
        std::vector<std::uint64_t> result;
        return value.getValues(result);
    }

    AppTestDatabase _db;
    LogCapture _log;
    const Poco::Int32 _app;
    const Poco::Int32 _period;
    const Poco::Int32 _name;
    const Poco::Int32 _limits;
    const Poco::Int32 _instance;
};

}  // namespace

TEST_F(AppParameterStorageTest, AnInstanceWithoutStoredValuesReadsTheDefaultsInParameterOrder)
{
    std::vector<DataPropertyValue> props(2);
    ParameterReader(_instance).getProperties(props);
    ASSERT_EQ(props.size(), 3u);
    EXPECT_EQ(props[0].idInstance, NAME);
    EXPECT_EQ(props[1].idInstance, LIMITS);
    EXPECT_EQ(props[2].idInstance, PERIOD);
    EXPECT_EQ(props[2].idEngUnit, DataPropertyValue::_NO_UNITS);
    EXPECT_EQ(props[0].getCharString(), "default name");
    EXPECT_EQ(props[1].size(), 3u);
    EXPECT_EQ(props[2].getUInt(), 30u);
    EXPECT_EQ(texts(_instance), (std::vector<std::string>{props[0].getText(), props[1].getText(), "30"}));
}

TEST_F(AppParameterStorageTest, StoredValuesWinAndAStoredNullReadsAsEmpty)
{
    _db.storeValue(_instance, _name, std::string("stored name"));
    _db.storeValue(_instance, _period, Poco::Nullable<std::string>());
    const std::vector<std::string> values = texts(_instance);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[0], "stored name");
    EXPECT_EQ(values[2], "");
}

TEST_F(AppParameterStorageTest, InstancesOfOneAppReadOnlyTheirOwnValues)
{
    const Poco::Int32 second = _db.addInstance(_app, 2, true);
    const Poco::Int32 third = _db.addInstance(_app, 3, true);
    _db.storeValue(_instance, _name, std::string("first"));
    _db.storeValue(second, _name, std::string("second"));

    EXPECT_EQ(texts(_instance)[0], "first");
    EXPECT_EQ(texts(second)[0], "second");
    EXPECT_EQ(texts(third).size(), 3u);
    DataPropertyValue name;
    EXPECT_EQ(AppBase::dbGetPropertyInstance(third, NAME, name), 1);
    EXPECT_EQ(name.getCharString(), "default name");
}

TEST_F(AppParameterStorageTest, ReadingAParameterThatDoesNotExistLeavesTheOutputAlone)
{
    DataPropertyValue kept;
    kept.setUInt(7);
    kept.idInstance = 77;
    EXPECT_EQ(AppBase::dbGetPropertyInstance(_instance, 99, kept), 0);
    EXPECT_EQ(kept.getUInt(), 7u);
    EXPECT_EQ(kept.idInstance, 77);
}

TEST_F(AppParameterStorageTest, UpdateOfTheWholeValueInsertsAMissingRowThenReplacesIt)
{
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, PERIOD, unsignedValue(42), WHOLE_VALUE), 1);
    EXPECT_EQ(_db.storedValue(_instance, _period).value(), "42");
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, PERIOD, unsignedValue(43), WHOLE_VALUE), 0);
    EXPECT_EQ(_db.storedValue(_instance, _period).value(), "43");
    EXPECT_EQ(_db.storedValueCount(), 1);
}

TEST_F(AppParameterStorageTest, ElementUpdatesMergeIntoTheStoredValueOnly)
{
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_EQ(_db.storedValueCount(), 0);

    _db.storeValue(_instance, _limits, std::string("[1,2,3]"));
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_EQ(limits(_instance), (std::vector<std::uint64_t>{1, 9, 3}));

    // A merge that changes nothing leaves the stored text exactly as it was.
    _db.session() << "UPDATE ap_app_property_instance SET value='[1,9,3]'", Poco::Data::Keywords::now;
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(_instance, LIMITS, unsignedValue(9), 2), 0);
    EXPECT_EQ(_db.storedValue(_instance, _limits).value(), "[1,9,3]");
}

TEST_F(AppParameterStorageTest, AFailedWriteReturnsMinusOneAndIsLogged)
{
    const Poco::Int32 noSuchInstance = 4711;
    EXPECT_EQ(AppBase::dbInsertPropertyInstance(noSuchInstance, PERIOD, unsignedValue(1)), -1);
    EXPECT_EQ(AppBase::dbUpdatePropertyInstance(noSuchInstance, PERIOD, unsignedValue(1), WHOLE_VALUE), -1);
    EXPECT_EQ(_log.linesOf(3040).size(), 2u);
    EXPECT_EQ(_db.storedValueCount(), 0);
}

TEST_F(AppParameterStorageTest, TheOwnDeviceIsTheLowestDeviceOfTheControllerNotBehindAGateway)
{
    EXPECT_EQ(AppBase::dbGetParentBACnetDeviceInstance(_instance), 0u);
    auto addDevice = [this](Poco::Int32 controller, Poco::Nullable<Poco::Int32> gateway,
                            Poco::Int32 objectType, Poco::Int32 instanceNr)
    {
        using namespace Poco::Data::Keywords;
        _db.session() << "INSERT INTO bn_device (id_dv_controller,id_bn_gw) VALUES(?,?)", use(controller),
            use(gateway), now;
        _db.session() << "INSERT INTO bn_device_object (id_bn_device,id_bn_object_type,instance_nr) "
                         "VALUES(last_insert_rowid(),?,?)",
            use(objectType), use(instanceNr), now;
    };
    const Poco::Int32 device = 8;
    addDevice(AppTestDatabase::_CONTROLLER, Poco::Nullable<Poco::Int32>(), device, 300);
    addDevice(AppTestDatabase::_CONTROLLER, Poco::Nullable<Poco::Int32>(), device, 200);
    addDevice(AppTestDatabase::_CONTROLLER, Poco::Nullable<Poco::Int32>(1), device, 100);
    addDevice(AppTestDatabase::_CONTROLLER + 1, Poco::Nullable<Poco::Int32>(), device, 50);
    addDevice(AppTestDatabase::_CONTROLLER, Poco::Nullable<Poco::Int32>(), 0, 10);
    EXPECT_EQ(AppBase::dbGetParentBACnetDeviceInstance(_instance), 200u);
}
