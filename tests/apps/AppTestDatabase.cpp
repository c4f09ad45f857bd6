#include "AppTestDatabase.h"

#include <Poco/Data/Statement.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

using namespace Poco::Data::Keywords;

namespace
{

const Poco::Int32 GROUP_PARAMETER_ID = 0;
const Poco::Int32 NO_UNITS = 95;

std::string schemaText()
{
    Poco::FileInputStream schema(ORVIK_SOURCE_DIR "/db/schema.sql");
    std::string text;
    Poco::StreamCopier::copyToString(schema, text);
    return text;
}

}  // namespace

AppTestDatabase::AppTestDatabase(bool withProductApps)
    : _pSession(new Orvik::Utility::Data::TeskDbSession(_file.path())),
      _pPreviousDB(Orvik::Utility::Data::pDB)
{
    _pSession->executeScript(schemaText());
    if (!withProductApps)
    {
        *_pSession << "UPDATE ap_app_property SET id_parent_property=NULL", now;
        *_pSession << "DELETE FROM ap_app_property", now;
        *_pSession << "DELETE FROM ap_app", now;
    }
    *_pSession << "INSERT INTO dv_controller (id_dv_controller,name) VALUES(2,'other')", now;
    Orvik::Utility::Data::pDB = _pSession.get();
}

AppTestDatabase::~AppTestDatabase()
{
    Orvik::Utility::Data::pDB = _pPreviousDB;
}

Poco::Int32 AppTestDatabase::addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                                    Poco::Int32 type)
{
    std::string appName = name;
    *_pSession << "INSERT INTO ap_app (id_vendor,app_id,type,name,description) VALUES(?,?,?,?,'')",
        use(idVendor), use(appId), use(type), use(appName), now;
    return lastInsertId();
}

Poco::Int32 AppTestDatabase::addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                                         bool startNow, Poco::Int32 controller)
{
    std::string name = "instance " + std::to_string(instanceNr);
    // An instance refers to its controller (foreign key); the schema lists only controller 1.
    *_pSession << "INSERT OR IGNORE INTO dv_controller (id_dv_controller) VALUES(?)", use(controller), now;
    *_pSession << "INSERT INTO ap_app_instance "
                  "(id_ap_app,id_dv_controller,instance_nr,name,start_at_startup,start_now)"
                  " VALUES(?,?,?,?,?,?)",
        use(idApApp), use(controller), use(instanceNr), use(name), use(startAtStartup), use(startNow), now;
    return lastInsertId();
}

Poco::Int32 AppTestDatabase::addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype,
                                          Poco::Int32 appTag, const std::string& defaultValue)
{
    Poco::Int32 group = parameterGroup(idApApp);
    std::string text = defaultValue;
    Poco::Int32 unit = NO_UNITS;
    *_pSession << "INSERT INTO ap_app_property "
                  "(id_parent_property,id_ap_app,id,id_bn_datatype,id_bn_app_tag,structure,"
                  "nr_of_elements,element_length,access,name,description,default_value,id_bn_eng_unit,"
                  "internal_use_only)"
                  " VALUES(?,?,?,?,?,0,1,0,0,'parameter','',?,?,0)",
        use(group), use(idApApp), use(id), use(datatype), use(appTag), use(text), use(unit), now;
    return lastInsertId();
}

void AppTestDatabase::storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                                 const Poco::Nullable<std::string>& value)
{
    Poco::Nullable<std::string> text = value;
    *_pSession
        << "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) VALUES(?,?,?)",
        use(idApAppInstance), use(idApAppProperty), use(text), now;
}

Poco::Nullable<std::string> AppTestDatabase::storedValue(Poco::Int32 idApAppInstance,
                                                         Poco::Int32 idApAppProperty)
{
    Poco::Nullable<std::string> value;
    *_pSession
        << "SELECT value FROM ap_app_property_instance WHERE id_ap_app_instance=? AND id_ap_app_property=?",
        into(value), use(idApAppInstance), use(idApAppProperty), now;
    return value;
}

Poco::Int32 AppTestDatabase::storedValueCount()
{
    Poco::Int32 count = 0;
    *_pSession << "SELECT COUNT(*) FROM ap_app_property_instance", into(count), now;
    return count;
}

void AppTestDatabase::setStartFlags(Poco::Int32 idApAppInstance, bool startAtStartup, bool startNow)
{
    *_pSession << "UPDATE ap_app_instance SET start_at_startup=?,start_now=? WHERE id_ap_app_instance=?",
        use(startAtStartup), use(startNow), use(idApAppInstance), now;
}

Poco::Int32 AppTestDatabase::parameterGroup(Poco::Int32 idApApp)
{
    // A property that is its own parent is a group, not a parameter; every parameter belongs to one.
    Poco::Int32 group = 0;
    *_pSession << "SELECT IFNULL(MAX(id_ap_app_property),0) FROM ap_app_property WHERE id_ap_app=? AND "
                  "id_ap_app_property=id_parent_property",
        into(group), use(idApApp), now;
    if (group != 0)
    {
        return group;
    }
    Poco::Int32 groupId = GROUP_PARAMETER_ID;
    *_pSession
        << "INSERT INTO ap_app_property (id_ap_app,id,id_bn_datatype,id_bn_app_tag,structure,nr_of_elements,"
           "element_length,access,name,description,default_value,id_bn_eng_unit,internal_use_only)"
           " VALUES(?,?,0,0,0,0,0,0,'group','','',95,0)",
        use(idApApp), use(groupId), now;
    group = lastInsertId();
    *_pSession
        << "UPDATE ap_app_property SET id_parent_property=id_ap_app_property WHERE id_ap_app_property=?",
        use(group), now;
    return group;
}

Poco::Int32 AppTestDatabase::lastInsertId()
{
    Poco::Int32 id = 0;
    *_pSession << "SELECT last_insert_rowid()", into(id), now;
    return id;
}
