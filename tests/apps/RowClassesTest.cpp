// The configuration row classes: every class against db/schema.sql (a typed test), then what the
// relations between rows and the watchdog's conversions do.
#include "Orvik_ZARoveDore/Entities/ApApp.h"
#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"
#include "Orvik_ZARoveDore/Entities/ApAppProperty.h"
#include "Orvik_ZARoveDore/Entities/ApAppPropertyInstance.h"
#include "Orvik_ZARoveDore/Entities/ApWatchdog.h"
#include "Orvik_ZARoveDore/Entities/ApWatchdogShutdownMethod.h"
#include "Orvik_ZARoveDore/Entities/Names.h"
#include "TestDatabase.h"

#include <Poco/Exception.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>

using namespace Orvik::Apps::Entity;
using namespace Poco::Data::Keywords;
using Orvik::Utility::Data::AutoIncrementVector;
using Orvik::Utility::Data::Entity;
using Orvik::Utility::Data::EntityServer;
using Orvik::Utility::Hardware::TeskGPIO;
using Orvik::Utility::Watchdog::Parameters;
using Orvik::Utility::Watchdog::ShutdownMethod;

namespace
{

/// A value of every column of every table, none of them the column's default where it has one.
/// App 10 has instances 21 and 22, the group 30 and its parameter 31, and the value 41 of instance 21.
/// Controller 1 has an active watchdog whose three methods' "order" runs against their keys; controller 2
/// an inactive one with one method.
const char* const ROWS = R"(
INSERT INTO dv_controller (id_dv_controller,name) VALUES (2,'other');
INSERT INTO bn_device (id_bn_device,id_dv_controller,name) VALUES (1,1,'plant');
INSERT INTO bn_device_object (id_bn_device_object,id_bn_device,id_bn_object_type,instance_nr,name) VALUES (5,1,16,1,'program');
INSERT INTO ap_app VALUES (10,64701,2,2,'Whois','finds devices');
INSERT INTO ap_app_instance VALUES (21,10,2,1,'one',1,1,5,5);
INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,instance_nr,name) VALUES (22,10,2,'two');
INSERT INTO ap_app_property VALUES (30,30,10,0,0,0,0,1,0,0,'group',NULL,'',95,0);
INSERT INTO ap_app_property VALUES (31,30,10,1,2,2,1,4,8,1,'low limit','the lowest','0',62,1);
INSERT INTO ap_app_property_instance VALUES (41,21,31,'7');
INSERT INTO ap_watchdog VALUES (1,1,1,'main','first',4000000000,15);
INSERT INTO ap_watchdog (id_ap_watchdog,id_dv_controller,active,name) VALUES (2,2,0,'idle');
INSERT INTO ap_watchdog_shutdown_method VALUES (11,1,3,4,100,5000,17,27,5);
INSERT INTO ap_watchdog_shutdown_method VALUES (12,1,1,1,200,6000,-1,-1,0);
INSERT INTO ap_watchdog_shutdown_method VALUES (13,1,2,3,300,7000,22,23,1);
INSERT INTO ap_watchdog_shutdown_method VALUES (21,2,1,2,400,8000,5,6,1);
)";

class RowFixture : public testing::Test
{
protected:
    RowFixture() { _db.exec(ROWS); }

    Orvik::Test::TestDatabase _db;
    EntityServer _es{_db.session()};
};

/// A column value as SQLite shows it: "<NULL>", a number or a text.
std::string textOf(const Poco::Dynamic::Var& value)
{
    if (value.isEmpty())
        return "<NULL>";
    if (value.type() == typeid(bool))
        return value.extract<bool>() ? "1" : "0";
    return value.convert<std::string>();
}

std::vector<std::string> textsOf(const Entity& row)
{
    std::vector<std::string> texts;
    for (std::size_t column = 1; column < row.getColCount(); ++column)
        texts.push_back(textOf(row.getVar(column)));
    return texts;
}

std::string unquoted(const std::string& name)
{
    return name.size() > 1 && name.front() == '"' ? name.substr(1, name.size() - 2) : name;
}

/// The seeded row of each class and what its relations read (Relations::of).
template <class Row>
constexpr std::pair<Poco::Int32, const char*> SEEDED{11, "main"};
template <>
constexpr std::pair<Poco::Int32, const char*> SEEDED<ApApp>{10, "2one"};
template <>
constexpr std::pair<Poco::Int32, const char*> SEEDED<ApAppInstance>{21, "Whois7"};
template <>
constexpr std::pair<Poco::Int32, const char*> SEEDED<ApAppProperty>{31, "Whois"};
template <>
constexpr std::pair<Poco::Int32, const char*> SEEDED<ApAppPropertyInstance>{41, "one"};
template <>
constexpr std::pair<Poco::Int32, const char*> SEEDED<ApWatchdog>{1, "3"};

/// What a row reads through its relations, loading them on the way.
struct Relations
{
    static std::string of(ApApp& row)
    {
        row.retrieveApAppInstances();  // refills the map that copies share
        return std::to_string(row.getApAppInstances()->size()) + row.findApAppInstance(21)->getName();
    }
    static std::string of(ApAppInstance& row)
    {
        return row.getApApp()->getName() + row.findApAppPropertyInstance(41)->getValue();
    }
    static std::string of(ApAppProperty& row) { return row.getApApp()->getName(); }
    static std::string of(ApAppPropertyInstance& row) { return row.getApAppInstance()->getName(); }
    static std::string of(ApWatchdog& row)
    {
        return std::to_string(row.getApWatchdogShutdownMethods()->size());
    }
    static std::string of(ApWatchdogShutdownMethod& row) { return row.getApWatchdog()->getName(); }
};

template <class Row>
class RowClass : public RowFixture
{
protected:
    /// The row as the database holds it, column by column after the key.
    std::vector<std::string> stored(const Row& row, Poco::Int32 key)
    {
        std::vector<std::string> texts;
        for (std::size_t column = 1; column < row.getColCount(); ++column)
            texts.push_back(_db.queryText("SELECT \"" + unquoted(*row.getColNames()[column]) + "\" FROM " +
                                          row.getTableName() + " WHERE " + unquoted(*row.getColNames()[0]) +
                                          "=" + std::to_string(key)));
        return texts;
    }
};

using RowClasses = testing::Types<ApApp, ApAppInstance, ApAppProperty, ApAppPropertyInstance, ApWatchdog,
                                  ApWatchdogShutdownMethod>;
TYPED_TEST_SUITE(RowClass, RowClasses);

}  // namespace

TYPED_TEST(RowClass, ColumnsAndDefaultsAreTheSchemas)
{
    const TypeParam fresh(true);
    std::vector<std::string> names;
    std::vector<Poco::Nullable<std::string>> defaults;
    this->_db.session() << "SELECT name, dflt_value FROM pragma_table_info(?) ORDER BY cid",
        bind(fresh.getTableName()), into(names), into(defaults), now;
    ASSERT_EQ(fresh.getColCount(), names.size()) << fresh.getTableName();
    for (std::size_t column = 0; column < names.size(); ++column)
    {
        EXPECT_EQ(unquoted(*fresh.getColNames()[column]), names[column]);
        if (column == 0)
            continue;
        std::string expected = defaults[column].isNull() ? "<NULL>" : defaults[column].value();
        if (expected.size() > 1 && expected.front() == '\'')
            expected = expected.substr(1, expected.size() - 2);
        // A new row leaves a column to the table (NULL) or carries the table's default as a changed value.
        if (!fresh.isNull(column))
        {
            EXPECT_EQ(textOf(fresh.getVar(column)), expected) << names[column];
            EXPECT_TRUE(fresh.isChanged(column)) << names[column];
        }
        EXPECT_TRUE(TypeParam().isNull(column)) << names[column] << ": no defaults for a row to read into";
    }
    EXPECT_TRUE(fresh.isNew());
    EXPECT_FALSE(TypeParam().isNew());
}

TYPED_TEST(RowClass, ARowRoundTrips)
{
    const Poco::Int32 key = SEEDED<TypeParam>.first;
    TypeParam read;
    ASSERT_EQ(read.retrieve(key, this->_es), 1);
    EXPECT_EQ(read.getPK(), key);
    EXPECT_EQ(read.getStatus(), 0u);
    EXPECT_EQ(this->_es.getWhere(), unquoted(*read.getColNames()[0]) + "=?");
    EXPECT_EQ(textsOf(read), this->stored(read, key));
    EXPECT_EQ(TypeParam().retrieve(999, this->_es), 0);

    // Written anew in place of the seeded row (foreign keys and unique columns stay valid), read back.
    this->_db.exec("DELETE FROM " + read.getTableName() + " WHERE " + unquoted(*read.getColNames()[0]) + "=" +
                   std::to_string(key));
    TypeParam written(true);
    for (std::size_t column = 1; column < read.getColCount(); ++column)
        written.setVar(column, read.getVar(column), true);
    ASSERT_EQ(this->_es.update(written, nullptr), 1);
    EXPECT_FALSE(written.isNew() || written.isModified());
    TypeParam back;
    ASSERT_EQ(back.retrieve(written.getPK(), this->_es), 1);
    EXPECT_EQ(textsOf(back), textsOf(read));
}

TYPED_TEST(RowClass, CopiesNeverFreeTwice)
{
    auto pOriginal = std::make_unique<TypeParam>();
    ASSERT_EQ(pOriginal->retrieve(SEEDED<TypeParam>.first, this->_es), 1);
    const std::string relations = Relations::of(*pOriginal);
    EXPECT_EQ(relations, SEEDED<TypeParam>.second);
    TypeParam copy(*pOriginal);
    TypeParam assigned;
    assigned = *pOriginal;
    pOriginal.reset();
    // What the original loaded outlives it, and each copy may reload it without freeing it under the other.
    EXPECT_EQ(Relations::of(copy), relations);
    EXPECT_EQ(Relations::of(assigned), relations);
    EXPECT_EQ(Relations::of(copy), relations);
}

using RowRelations = RowFixture;

TEST_F(RowRelations, ChildrenAreReadIntoMapsByKeyAndAChildLoadsItsParentOnceUnlessOneIsSet)
{
    ApApp app;
    ASSERT_EQ(app.retrieve(10, _es), 1);
    EXPECT_EQ(app.findApAppInstance(23), nullptr);
    EXPECT_EQ(app.findApAppProperty(31)->getDefaultValue(), "0");
    EXPECT_EQ(app.getApAppProperty()->size(), 2u);
    const std::string where = "instance_nr>?";
    const Entity::Vars above1{1}, above5{5};
    EXPECT_EQ(app.retrieveApAppInstances(&where, &above1), 1);
    EXPECT_EQ(app.getApAppInstances()->count(22), 1u);
    EXPECT_EQ(app.retrieveApAppInstances(&where, &above5), 0);
    ApAppInstance empty;
    ASSERT_EQ(empty.retrieve(22, _es), 1);
    EXPECT_EQ(empty.getApAppPropertyInstances(), nullptr) << "no stored values: no map";

    ApAppProperty property;
    ASSERT_EQ(property.retrieve(31, _es), 1);
    ApApp* pLoaded = property.getApApp();
    EXPECT_EQ(property.getApApp(), pLoaded) << "loaded once";
    ApApp outside(true);
    outside.setPK(77, false);
    property.setApApp(&outside);
    EXPECT_EQ(property.getApApp(), &outside);
    EXPECT_EQ(property.getIdApApp(), 77);
    EXPECT_TRUE(property.isChanged(ApAppProperty::_COL_ID_AP_APP));
    EXPECT_EQ(property.retrieveApApp(), &outside) << "a parent set from outside is not reloaded";
    property.setApApp(nullptr);
    property.setIdApApp(10);
    ASSERT_NE(property.getApApp(), nullptr);
    EXPECT_EQ(property.getApApp()->getPK(), 10);
}

TEST_F(RowRelations, NewTreeIsInsertedWithKeysPassedDown)
{
    ApApp app(true);
    app.setIdVendor(64701);
    app.setAppId(8);
    app.setType(2);
    app.setName("COV");
    ApAppInstance first(true), second(true);
    first.setInstanceNr(1);
    second.setInstanceNr(2);
    second.setPK(-2, false);  // a temporary key, so both fit into the map
    ApAppProperty group(true);
    group.setId(0);
    group.setIdBnDatatype(0);
    group.setIdBnAppTag(0);
    app.addAppInstance(first);
    app.addAppInstance(second);
    app.addProperty(group);
    EXPECT_EQ(first.getApApp(), &app) << "the added child points to its app";

    AutoIncrementVector keys;
    EXPECT_EQ(app.updateAll(_es, &keys), 4);
    ASSERT_EQ(keys.size(), 4u);
    EXPECT_EQ(keys[0], (Orvik::Utility::Data::DataAutoIncrement{"ap_app", 0, app.getPK()}));
    const auto secondKey =
        std::find_if(keys.begin(), keys.end(), [](const auto& k) { return k.previousKey == -2; });
    ASSERT_NE(secondKey, keys.end()) << "temporary keys map to the stored ones";
    const std::string appKey = std::to_string(app.getPK());
    EXPECT_EQ(_db.queryInt("SELECT COUNT(*) FROM ap_app_instance WHERE id_ap_app=" + appKey), 2);
    EXPECT_EQ(_db.queryText("SELECT id_ap_app FROM ap_app_property WHERE name=''"), appKey);
    ASSERT_NE(app.findApAppInstance(secondKey->assignedKey), nullptr) << "held under the stored key";
    EXPECT_EQ(app.findApAppInstance(secondKey->assignedKey)->getInstanceNr(), 2);
    EXPECT_EQ(app.updateAll(_es, &keys), 0) << "nothing left to write";

    // A new watchdog with a method: its key is passed down too.
    _db.exec("INSERT INTO dv_controller (id_dv_controller) VALUES (3)");
    ApWatchdog watchdog(true);
    watchdog.setIdDvController(3);
    watchdog.setActive(1);
    ApWatchdogShutdownMethod method(true);
    method.setOrder(1);
    method.setType(ShutdownMethod::SOFTWARE);
    watchdog.addAppWatchdogShutdownMethod(method);
    EXPECT_EQ(method.getApWatchdog(), &watchdog);
    EXPECT_EQ(watchdog.updateAll(_es, nullptr), 2);
    ApWatchdogShutdownMethod loaded;
    ASSERT_EQ(loaded.retrieve(watchdog.getApWatchdogShutdownMethods()->begin()->first, _es), 1);
    EXPECT_EQ(loaded.getIdApWatchdog(), watchdog.getPK());
    EXPECT_EQ(loaded.getApWatchdog()->getIdDvController(), 3);
}

TEST_F(RowRelations, SettingTheKeyRewritesTheChildrensForeignKeysAndOneKeyHoldsOneChild)
{
    ApApp app(true);
    ApAppInstance instance(true);
    ApAppProperty property(true);
    app.addAppInstance(instance);
    app.addProperty(property);
    app.setPK(55, true);
    EXPECT_EQ(app.getApAppInstances()->begin()->second.getIdApApp(), 55);
    EXPECT_EQ(app.getApAppProperty()->begin()->second.getIdApApp(), 55);

    ApAppInstance parent(true);
    ApAppPropertyInstance value(true);
    parent.addPropertyInstance(value);
    parent.setIdApAppInstance(66);
    EXPECT_EQ(parent.getApAppPropertyInstances()->begin()->second.getIdApAppInstance(), 66);

    // Two new children with one key: the second one stays.
    ApApp twice(true);
    ApAppInstance first(true), second(true);
    first.setName("first");
    second.setName("second");
    twice.addAppInstance(first);
    twice.addAppInstance(second);
    ASSERT_EQ(twice.getApAppInstances()->size(), 1u);
    EXPECT_EQ(twice.getApAppInstances()->begin()->second.getName(), "second");
}

TEST_F(RowRelations, StoredValueTextEmptyIsNull)
{
    ApAppPropertyInstance value;
    ASSERT_EQ(value.retrieve(41, _es), 1);
    value.setValue(Orvik::BACnet::ValueContainer());
    EXPECT_TRUE(value.isNull(ApAppPropertyInstance::_COL_VALUE));
    ASSERT_EQ(_es.update(value, nullptr), 1);
    EXPECT_EQ(
        _db.queryText("SELECT value FROM ap_app_property_instance WHERE id_ap_app_property_instance=41"),
        "<NULL>");
    Orvik::BACnet::ValueContainer number;
    number.setUInt(42);
    value.setValue(number);
    EXPECT_EQ(value.getValue(), number.getText());
    EXPECT_FALSE(value.getValue().empty());
    value.setValue(std::string());
    EXPECT_FALSE(value.isNull(ApAppPropertyInstance::_COL_VALUE)) << "the text form stores what it is given";
}

TEST_F(RowRelations, MethodsAreReadWithAnActiveWatchdogOrLoadedLaterAndConvertInTheConfiguredOrder)
{
    ApWatchdog watchdog;
    EXPECT_EQ(watchdog.retrieve(2, _es, true, true), 0);
    EXPECT_EQ(_es.getWhere(), "id_dv_controller=? AND active<> 0");
    EXPECT_TRUE(static_cast<Parameters>(watchdog).getShutdownMethods().empty()) << "no methods read";
    EXPECT_EQ(watchdog.retrieve(2, _es, false, false), 1);
    EXPECT_EQ(watchdog.getName(), "idle");
    EXPECT_EQ(static_cast<Parameters>(watchdog).getShutdownMethods().size(), 1u) << "read with the watchdog";
    ApWatchdog byKey;
    ASSERT_EQ(byKey.retrieve(1, _es), 1);
    EXPECT_TRUE(static_cast<Parameters>(byKey).getShutdownMethods().empty());
    ASSERT_NE(byKey.getApWatchdogShutdownMethods(), nullptr);
    EXPECT_EQ(static_cast<Parameters>(byKey).getShutdownMethods().size(), 3u) << "after loading them";

    ApWatchdog active;
    ASSERT_EQ(active.retrieve(1, _es, true, true), 1);
    EXPECT_EQ(active.getFrequencySec(), 4000000000u) << "unsigned 32-bit values survive the database";
    const Parameters parameters = active;
    EXPECT_EQ(parameters.frequencySec, 4000000000u);
    EXPECT_EQ(parameters.subscribersTimeoutSec, 15u);
    EXPECT_EQ(parameters.pDbSession, &_db.session());
    const auto& methods = parameters.getShutdownMethods();
    ASSERT_EQ(methods.size(), 3u);
    // Order 1 first, although its key is not the lowest.
    EXPECT_EQ(std::vector<ShutdownMethod::Type>({methods[0].type, methods[1].type, methods[2].type}),
              std::vector<ShutdownMethod::Type>(
                  {ShutdownMethod::SOFTWARE, ShutdownMethod::HARD_RESET, ShutdownMethod::COLD_BOOT}));
    EXPECT_EQ(std::vector<int>({methods[2].getHeartbeatMs(), methods[2].getTimeoutShutDownFailedMs(),
                                methods[2].getGpioHeartbeat(), methods[2].getGpioEnable()}),
              std::vector<int>({100, 5000, 17, 27}));
    EXPECT_EQ(methods[2].getGpioActiveState(), TeskGPIO::BV_ACTIVE) << "gpio_active_state 5";
    EXPECT_EQ(methods[0].getGpioActiveState(), TeskGPIO::BV_INACTIVE) << "gpio_active_state 0";

    ApWatchdogShutdownMethod unknown(true);
    unknown.setType(9);
    EXPECT_THROW(static_cast<void>(static_cast<ShutdownMethod>(unknown)), Poco::DataFormatException);
    ApWatchdog withUnknown(true);
    withUnknown.addAppWatchdogShutdownMethod(unknown);
    EXPECT_THROW(static_cast<void>(static_cast<Parameters>(withUnknown)), Poco::DataFormatException);
}

TEST(RowDefaults, ANewRowUsedBeforeItIsStoredHasTheTableDefaultsThatMatter)
{
    ApWatchdog watchdog(true);
    EXPECT_EQ(static_cast<Parameters>(watchdog).frequencySec, 30u);
    EXPECT_EQ(static_cast<Parameters>(watchdog).subscribersTimeoutSec, 10u);
    ApAppInstance instance(true);
    EXPECT_EQ(instance.getIdDvController(), 1);
    EXPECT_EQ(instance.getInstanceNr(), 1);
    EXPECT_FALSE(instance.getStartAtStartup());
}

TEST_F(RowRelations, ACopyThatLetsGoOfTheSharedParentLeavesItToTheOthers)
{
    ApAppInstance instance;
    ASSERT_EQ(instance.retrieve(21, _es), 1);
    ASSERT_NE(instance.getApApp(), nullptr);
    {
        ApAppInstance copy(instance);
        ApApp outside;
        copy.setApApp(&outside);  // lets go of the owned parent: the last owner deletes it
        EXPECT_EQ(copy.getApApp(), &outside);
    }
    EXPECT_EQ(instance.getApApp()->getName(), "Whois");

    ApAppPropertyInstance value;
    ASSERT_EQ(value.retrieve(41, _es), 1);
    ASSERT_NE(value.getApAppInstance(), nullptr);
    {
        ApAppPropertyInstance second = value;
        second.setApAppInstance(nullptr);
    }
    EXPECT_EQ(value.getApAppInstance()->getName(), "one");
}
