#include "AppTestDatabase.h"

#include <Poco/Data/Statement.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

using namespace Poco::Data::Keywords;

AppTestDatabase::AppTestDatabase(bool withProductApps)
    : _pSession(new Orvik::Utility::Data::TeskDbSession(_file.path())),
      _pPreviousDB(Orvik::Utility::Data::pDB)
{
    Poco::FileInputStream schema(ORVIK_SOURCE_DIR "/db/schema.sql");
    std::string script;
    Poco::StreamCopier::copyToString(schema, script);
    _pSession->executeScript(script);
    if (!withProductApps)
    {
        _pSession->executeScript(
            "UPDATE ap_app_property SET id_parent_property=NULL; DELETE FROM ap_app_property;"
            "DELETE FROM ap_app;");
    }
    _pSession->executeScript("INSERT INTO dv_controller (id_dv_controller,name) VALUES(2,'other')");
    Orvik::Utility::Data::pDB = _pSession.get();
}

AppTestDatabase::~AppTestDatabase()
{
    Orvik::Utility::Data::pDB = _pPreviousDB;
}

Poco::Int32 AppTestDatabase::addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                                    Poco::Int32 type)
{
    *_pSession << "INSERT INTO ap_app (id_vendor,app_id,type,name) VALUES(?,?,?,?)", use(idVendor),
        use(appId), use(type), bind(name), now;
    return lastInsertId();
}

Poco::Int32 AppTestDatabase::addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                                         bool startNow, Poco::Int32 controller)
{
    *_pSession
        << "INSERT INTO ap_app_instance (id_ap_app,id_dv_controller,instance_nr,start_at_startup,start_now)"
           " VALUES(?,?,?,?,?)",
        use(idApApp), use(controller), use(instanceNr), use(startAtStartup), use(startNow), now;
    return lastInsertId();
}

Poco::Int32 AppTestDatabase::addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype,
                                          Poco::Int32 appTag, const std::string& defaultValue)
{
    *_pSession << "INSERT INTO ap_app_property (id_parent_property,id_ap_app,id,id_bn_datatype,id_bn_app_tag,"
                  "default_value) VALUES(?,?,?,?,?,?)",
        bind(parameterGroup(idApApp)), use(idApApp), use(id), use(datatype), use(appTag), bind(defaultValue),
        now;
    return lastInsertId();
}

void AppTestDatabase::storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                                 const Poco::Nullable<std::string>& value)
{
    *_pSession
        << "INSERT INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) VALUES(?,?,?)",
        use(idApAppInstance), use(idApAppProperty), bind(value), now;
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

Poco::Int32 AppTestDatabase::parameterGroup(Poco::Int32 idApApp)
{
    // A property that is its own parent is a group, not a parameter; every parameter belongs to one.
    Poco::Int32 group = 0;
    *_pSession << "SELECT IFNULL(MAX(id_ap_app_property),0) FROM ap_app_property WHERE id_ap_app=? AND "
                  "id_ap_app_property=id_parent_property",
        into(group), use(idApApp), now;
    if (group == 0)
    {
        *_pSession
            << "INSERT INTO ap_app_property (id_ap_app,id,id_bn_datatype,id_bn_app_tag) VALUES(?,0,0,0)",
            use(idApApp), now;
        group = lastInsertId();
        *_pSession << "UPDATE ap_app_property SET id_parent_property=? WHERE id_ap_app_property=?",
            use(group), use(group), now;
    }
    return group;
}

Poco::Int32 AppTestDatabase::lastInsertId()
{
    Poco::Int32 id = 0;
    *_pSession << "SELECT last_insert_rowid()", into(id), now;
    return id;
}
