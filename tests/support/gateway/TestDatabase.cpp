#include "TestDatabase.h"

#include "TextFile.h"

#include <Poco/Data/Statement.h>
#include <Poco/File.h>
#include <Poco/Format.h>
#include <Poco/Glob.h>

#include <set>

using namespace Poco::Data::Keywords;

namespace Orvik::Test
{

TestDatabase::TestDatabase(Apps apps)
    : _pFile(std::make_unique<Poco::TemporaryFile>()),
      _pSession(std::make_unique<Orvik::Utility::Data::TeskDbSession>(_pFile->path())),
      _pPreviousDB(Orvik::Utility::Data::pDB)
{
    install(true);
    if (apps == Apps::none)
        exec(
            "UPDATE ap_app_property SET id_parent_property=NULL; DELETE FROM ap_app_property; DELETE FROM "
            "ap_app;");
}

TestDatabase::TestDatabase(const std::string& path) : _pPreviousDB(Orvik::Utility::Data::pDB)
{
    const bool fresh = !Poco::File(path).exists() || Poco::File(path).getSize() == 0;
    _pSession = std::make_unique<Orvik::Utility::Data::TeskDbSession>(path);
    install(fresh);
}

TestDatabase::~TestDatabase()
{
    Orvik::Utility::Data::pDB = _pPreviousDB;
    // What the apps keep beside a temporary database (the bridges' outage queues) goes with it.
    if (_pFile)
    {
        std::set<std::string> kept;
        Poco::Glob::glob(_pFile->path() + ".*", kept);
        for (const std::string& path : kept)
            Poco::File(path).remove();
    }
}

void TestDatabase::install(bool fresh)
{
    if (fresh)
    {
        _pSession->executeScript(readFile(ORVIK_SOURCE_DIR "/db/schema.sql"));
        _pSession->executeScript(readFile(ORVIK_SOURCE_DIR "/db/apps.sql"));
    }
    exec("PRAGMA synchronous = OFF");  // a test's file: no need to wait for the disk
    Orvik::Utility::Data::pDB = _pSession.get();
}

void TestDatabase::exec(const std::string& sql)
{
    *_pSession << sql, now;
}

long long TestDatabase::queryInt(const std::string& sql)
{
    Poco::Nullable<Poco::Int64> value;
    Poco::Data::Statement statement(*_pSession);
    statement << sql, into(value), limit(1);
    return statement.execute() == 0 || value.isNull() ? -1 : value.value();
}

std::string TestDatabase::queryText(const std::string& sql)
{
    Poco::Nullable<std::string> value;
    Poco::Data::Statement statement(*_pSession);
    statement << sql, into(value), limit(1);
    if (statement.execute() == 0)
        return "<none>";
    return value.isNull() ? "<NULL>" : value.value();
}

Poco::Int32 TestDatabase::addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                                 Poco::Int32 type)
{
    *_pSession << "INSERT INTO ap_app (id_vendor,app_id,type,name) VALUES(?,?,?,?)", use(idVendor),
        use(appId), use(type), bind(name), now;
    return lastInsertId();
}

Poco::Int32 TestDatabase::addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                                      bool startNow, Poco::Int32 controller)
{
    exec(
        Poco::format("INSERT INTO ap_app_instance (id_ap_app,id_dv_controller,instance_nr,start_at_startup,"
                     "start_now) VALUES(%d,%d,%d,%d,%d)",
                     idApApp, controller, instanceNr, int(startAtStartup), int(startNow)));
    return lastInsertId();
}

Poco::Int32 TestDatabase::addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype,
                                       Poco::Int32 appTag, const std::string& defaultValue)
{
    *_pSession << "INSERT INTO ap_app_property (id_parent_property,id_ap_app,id,id_bn_datatype,id_bn_app_tag,"
                  "default_value) VALUES(?,?,?,?,?,?)",
        bind(parameterGroup(idApApp)), use(idApApp), use(id), use(datatype), use(appTag), bind(defaultValue),
        now;
    return lastInsertId();
}

Poco::Int32 TestDatabase::parameterKey(Poco::Int32 idApApp, Poco::Int32 id)
{
    return static_cast<Poco::Int32>(queryInt(Poco::format(
        "SELECT IFNULL(MAX(id_ap_app_property),0) FROM ap_app_property WHERE id_ap_app=%d AND id=%d AND "
        "id_ap_app_property<>id_parent_property",
        idApApp, id)));
}

void TestDatabase::dropParameter(Poco::Int32 idApAppProperty)
{
    exec(Poco::format("DELETE FROM ap_app_property WHERE id_ap_app_property=%d", idApAppProperty));
}

void TestDatabase::storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                              const Poco::Nullable<std::string>& value)
{
    *_pSession
        << "INSERT OR REPLACE INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value)"
           " VALUES(?,?,?)",
        use(idApAppInstance), use(idApAppProperty), bind(value), now;
}

Poco::Nullable<std::string> TestDatabase::storedValue(Poco::Int32 idApAppInstance,
                                                      Poco::Int32 idApAppProperty)
{
    Poco::Nullable<std::string> value;
    *_pSession
        << "SELECT value FROM ap_app_property_instance WHERE id_ap_app_instance=? AND id_ap_app_property=?",
        into(value), use(idApAppInstance), use(idApAppProperty), now;
    return value;
}

Poco::Int32 TestDatabase::parameterGroup(Poco::Int32 idApApp)
{
    // A property that is its own parent is a group, not a parameter; every parameter belongs to one.
    const std::string groups = Poco::format(
        "SELECT IFNULL(MAX(id_ap_app_property),0) FROM ap_app_property WHERE id_ap_app=%d AND "
        "id_ap_app_property=id_parent_property",
        idApApp);
    if (queryInt(groups) == 0)
    {
        exec(Poco::format(
            "INSERT INTO ap_app_property (id_ap_app,id,id_bn_datatype,id_bn_app_tag) VALUES(%d,0,0,0);"
            "UPDATE ap_app_property SET id_parent_property=id_ap_app_property WHERE "
            "id_ap_app_property=last_insert_rowid()",
            idApApp));
    }
    return static_cast<Poco::Int32>(queryInt(groups));
}

Poco::Int32 TestDatabase::lastInsertId()
{
    return static_cast<Poco::Int32>(queryInt("SELECT last_insert_rowid()"));
}

}  // namespace Orvik::Test
