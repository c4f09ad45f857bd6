#include "EntitiesTestDatabase.h"

#include "Orvik_ZARoveDore/Entities/ApApp.h"
#include "Orvik_ZARoveDore/Entities/ApAppInstance.h"
#include "Orvik_ZARoveDore/Entities/ApAppProperty.h"
#include "Orvik_ZARoveDore/Entities/ApAppPropertyInstance.h"
#include "Orvik_ZARoveDore/Entities/Names.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace Orvik::Apps::Entity;
using Orvik::Utility::Data::AutoIncrementVector;
using Orvik::Utility::Data::EntityServer;

namespace
{

class AppEntities : public ::testing::Test
{
protected:
    /// An app with two instances and one parameter group with one parameter, stored directly.
    void SetUp() override
    {
        _db.exec("INSERT INTO ap_app (id_ap_app,id_vendor,app_id,type,name) VALUES (10,64701,2,2,'Whois')");
        _db.exec(
            "INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,instance_nr,name) VALUES "
            "(21,10,1,'one')");
        _db.exec(
            "INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,instance_nr,name,id_bn_program) "
            "VALUES (22,10,2,'two',NULL)");
        _db.exec(
            "INSERT INTO ap_app_property (id_ap_app_property,id_parent_property,id_ap_app,id,id_bn_datatype,"
            "id_bn_app_tag,name) VALUES (30,30,10,0,0,0,'group')");
        _db.exec(
            "INSERT INTO ap_app_property (id_ap_app_property,id_parent_property,id_ap_app,id,id_bn_datatype,"
            "id_bn_app_tag,name,default_value) VALUES (31,30,10,1,2,2,'low limit','0')");
        _db.exec(
            "INSERT INTO ap_app_property_instance (id_ap_app_property_instance,id_ap_app_instance,"
            "id_ap_app_property,value) VALUES (41,21,31,'7')");
    }

    EntitiesTestDatabase _db;
    EntityServer _es{_db.session()};
};

}  // namespace

TEST(AppEntityDefaults, NewRowsCarryTheTableDefaultsAsChangedValues)
{
    ApApp app(true);
    EXPECT_EQ(app.getIdVendor(), 0);
    EXPECT_EQ(app.getAppId(), 0);
    EXPECT_EQ(app.getType(), 0);
    EXPECT_TRUE(app.isChanged(ApApp::_COL_TYPE));
    EXPECT_TRUE(app.isNew());

    ApAppInstance instance(true);
    EXPECT_EQ(instance.getIdDvController(), 1);
    EXPECT_EQ(instance.getInstanceNr(), 1);
    EXPECT_FALSE(instance.getStartAtStartup());
    EXPECT_FALSE(instance.getStartNow());
    EXPECT_TRUE(instance.isChanged(ApAppInstance::_COL_START_NOW));
    EXPECT_TRUE(instance.getIdBnProgram().isNull());

    ApAppProperty property(true);
    ApAppPropertyInstance value(true);
    for (std::size_t column = 1; column < property.getColCount(); ++column)
    {
        EXPECT_TRUE(property.isNull(column)) << "column " << column;
    }
    EXPECT_FALSE(property.isModified());
    EXPECT_FALSE(value.isModified());

    ApApp readTarget;
    EXPECT_FALSE(readTarget.isNew());
    EXPECT_TRUE(readTarget.isNull(ApApp::_COL_ID_VENDOR)) << "no defaults for a row to read into";
}

TEST_F(AppEntities, RetrieveReadsARowByKey)
{
    ApAppInstance instance;
    EXPECT_EQ(instance.retrieve(22, _es), 1);
    EXPECT_EQ(instance.getPK(), 22);
    EXPECT_EQ(instance.getIdApApp(), 10);
    EXPECT_EQ(instance.getInstanceNr(), 2);
    EXPECT_EQ(instance.getName(), "two");
    EXPECT_TRUE(instance.getIdBnProgram().isNull());
    EXPECT_EQ(instance.getStatus(), 0u);
    EXPECT_EQ(_es.getWhere(), "id_ap_app_instance=?");

    ApApp missing;
    EXPECT_EQ(missing.retrieve(999, _es), 0);
}

TEST_F(AppEntities, ChildrenAreReadIntoMapsByKey)
{
    ApApp app;
    ASSERT_EQ(app.retrieve(10, _es), 1);
    ASSERT_NE(app.getApAppInstances(), nullptr);
    EXPECT_EQ(app.getApAppInstances()->size(), 2u);
    ASSERT_NE(app.findApAppInstance(21), nullptr);
    EXPECT_EQ(app.findApAppInstance(21)->getName(), "one");
    EXPECT_EQ(app.findApAppInstance(23), nullptr);
    EXPECT_EQ(app.findApAppProperty(31)->getDefaultValue(), "0");
    EXPECT_EQ(app.getApAppProperty()->size(), 2u);

    const std::string where = "instance_nr>?";
    const Orvik::Utility::Data::Entity::Vars args{1};
    EXPECT_EQ(app.retrieveApAppInstances(&where, &args), 1);
    EXPECT_EQ(app.getApAppInstances()->count(22), 1u);

    const Orvik::Utility::Data::Entity::Vars none{5};
    EXPECT_EQ(app.retrieveApAppInstances(&where, &none), 0);

    ApAppInstance instance;
    ASSERT_EQ(instance.retrieve(21, _es), 1);
    ASSERT_NE(instance.findApAppPropertyInstance(41), nullptr);
    EXPECT_EQ(instance.findApAppPropertyInstance(41)->getValue(), "7");
    ApAppInstance empty;
    ASSERT_EQ(empty.retrieve(22, _es), 1);
    EXPECT_EQ(empty.getApAppPropertyInstances(), nullptr) << "no stored values: no map";
}

TEST_F(AppEntities, AChildLoadsItsOwnParentUnlessOneIsSet)
{
    ApAppProperty property;
    ASSERT_EQ(property.retrieve(31, _es), 1);
    ApApp* pLoaded = property.getApApp();
    ASSERT_NE(pLoaded, nullptr);
    EXPECT_EQ(pLoaded->getName(), "Whois");
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

    ApAppPropertyInstance value;
    ASSERT_EQ(value.retrieve(41, _es), 1);
    ASSERT_NE(value.getApAppInstance(), nullptr);
    EXPECT_EQ(value.getApAppInstance()->getName(), "one");
}

TEST_F(AppEntities, NewTreeIsInsertedWithKeysPassedDown)
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
    const auto appKey = app.getPK();
    EXPECT_EQ(_db.queryInt("SELECT COUNT(*) FROM ap_app_instance WHERE id_ap_app=" + std::to_string(appKey)),
              2);
    EXPECT_EQ(_db.queryInt("SELECT id_ap_app FROM ap_app_property WHERE name=''"), appKey);
    ASSERT_NE(app.findApAppInstance(secondKey->assignedKey), nullptr) << "held under the stored key";
    EXPECT_EQ(app.findApAppInstance(secondKey->assignedKey)->getInstanceNr(), 2);
    EXPECT_EQ(app.updateAll(_es, &keys), 0) << "nothing left to write";
}

TEST_F(AppEntities, SettingTheKeyRewritesTheChildrensForeignKeys)
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
}

TEST_F(AppEntities, TwoNewChildrenWithOneKeyKeepOnlyTheSecond)
{
    ApApp app(true);
    ApAppInstance first(true), second(true);
    first.setName("first");
    second.setName("second");
    app.addAppInstance(first);
    app.addAppInstance(second);
    ASSERT_EQ(app.getApAppInstances()->size(), 1u);
    EXPECT_EQ(app.getApAppInstances()->begin()->second.getName(), "second");
}

TEST_F(AppEntities, StoredValueTextEmptyIsNull)
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

TEST_F(AppEntities, CopiesShareTheirChildMapWithoutDeletingItTwice)
{
    auto pOriginal = std::make_unique<ApApp>();
    ASSERT_EQ(pOriginal->retrieve(10, _es), 1);
    ASSERT_NE(pOriginal->getApAppInstances(), nullptr);
    ApApp copy(*pOriginal);
    ApApp assigned;
    assigned = *pOriginal;
    EXPECT_EQ(copy.getApAppInstances(), pOriginal->getApAppInstances()) << "a copy refers to the same map";

    pOriginal.reset();
    ASSERT_NE(copy.getApAppInstances(), nullptr);
    EXPECT_EQ(copy.getApAppInstances()->size(), 2u) << "still alive after the original is gone";

    const std::string nothing = "1=0";
    EXPECT_EQ(copy.retrieveApAppInstances(&nothing, nullptr), 0);
    ASSERT_NE(assigned.getApAppInstances(), nullptr);
    EXPECT_TRUE(assigned.getApAppInstances()->empty()) << "the shared map was cleared, not freed under it";
}

TEST_F(AppEntities, CopiesShareAnOwnedParentWithoutDeletingItTwice)
{
    auto pOriginal = std::make_unique<ApAppInstance>();
    ASSERT_EQ(pOriginal->retrieve(21, _es), 1);
    ApApp* pParent = pOriginal->getApApp();
    ASSERT_NE(pParent, nullptr);
    ApAppInstance copy(*pOriginal);
    EXPECT_EQ(copy.getApApp(), pParent);

    pOriginal.reset();
    EXPECT_EQ(copy.getApApp()->getName(), "Whois") << "the parent outlives the copy it came from";

    ApApp outside;
    copy.setApApp(&outside);  // lets go of the owned parent: the last owner deletes it
    EXPECT_EQ(copy.getApApp(), &outside);

    ApAppPropertyInstance value;
    ASSERT_EQ(value.retrieve(41, _es), 1);
    ASSERT_NE(value.getApAppInstance(), nullptr);
    {
        ApAppPropertyInstance second = value;
        second.setApAppInstance(nullptr);
    }
    EXPECT_EQ(value.getApAppInstance()->getName(), "one");
}
