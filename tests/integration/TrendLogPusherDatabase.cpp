#include "TrendLogPusherDatabase.h"

#include <Poco/Data/Statement.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

using namespace Poco::Data::Keywords;

namespace
{

std::string schemaText()
{
    Poco::FileInputStream schema(std::string(ORVIK_SOURCE_DIR) + "/db/schema.sql");
    std::string text;
    Poco::StreamCopier::copyToString(schema, text);
    return text;
}

}  // namespace

TrendLogPusherDatabase::TrendLogPusherDatabase(const std::string& path)
    : _pPreviousDB(Orvik::Utility::Data::pDB)
{
    const bool fresh = !Poco::File(path).exists() || Poco::File(path).getSize() == 0;
    _pSession = std::make_unique<Orvik::Utility::Data::TeskDbSession>(path);
    if (fresh)
    {
        _pSession->executeScript(schemaText());
        Poco::Int32 instance = _INSTANCE;
        Poco::Int32 app = _ID_AP_APP;
        *_pSession
            << "INSERT INTO ap_app_instance (id_ap_app_instance,id_ap_app,id_dv_controller,instance_nr,name,"
               "start_at_startup) VALUES(?,?,1,1,'trend log pusher',1)",
            use(instance), use(app), now;
    }
    Orvik::Utility::Data::pDB = _pSession.get();
}

TrendLogPusherDatabase::~TrendLogPusherDatabase()
{
    Orvik::Utility::Data::pDB = _pPreviousDB;
}

void TrendLogPusherDatabase::setParameter(Poco::Int32 id, const Poco::Nullable<std::string>& value)
{
    Poco::Int32 instance = _INSTANCE;
    Poco::Int32 app = _ID_AP_APP;
    Poco::Nullable<std::string> text = value;
    *_pSession
        << "INSERT OR REPLACE INTO ap_app_property_instance (id_ap_app_instance,id_ap_app_property,value) "
           "VALUES(?,(SELECT id_ap_app_property FROM ap_app_property WHERE id_ap_app=? AND id=?),?)",
        use(instance), use(app), use(id), use(text), now;
}

Poco::Nullable<std::string> TrendLogPusherDatabase::storedParameter(Poco::Int32 id)
{
    Poco::Int32 instance = _INSTANCE;
    Poco::Int32 app = _ID_AP_APP;
    Poco::Nullable<std::string> text;
    *_pSession << "SELECT b.value FROM ap_app_property a, ap_app_property_instance b "
                  "WHERE b.id_ap_app_property=a.id_ap_app_property AND a.id_ap_app=? AND a.id=? "
                  "AND b.id_ap_app_instance=?",
        use(app), use(id), use(instance), into(text), now;
    return text;
}

void TrendLogPusherDatabase::removeParameterDefinition(Poco::Int32 id)
{
    Poco::Int32 app = _ID_AP_APP;
    *_pSession << "DELETE FROM ap_app_property WHERE id_ap_app=? AND id=?", use(app), use(id), now;
}

void TrendLogPusherDatabase::configure(const std::string& serverURL, const std::string& user,
                                       const std::string& password, const std::string& directory, int collect,
                                       int language)
{
    setParameter(1, std::string("17"));
    setParameter(2, std::string("site-7"));
    setParameter(3, std::string("Test Site"));
    setParameter(4, std::string("TST"));
    setParameter(5, std::string("zumbra"));
    setParameter(6, std::to_string(language));
    setParameter(7, std::string("0b01"));
    setParameter(13, serverURL);
    setParameter(14, user);
    setParameter(15, password);
    setParameter(16, directory);
    setParameter(17, std::to_string(collect));
    setParameter(18, std::string("0"));
}
