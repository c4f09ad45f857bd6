#include "EntitiesTestDatabase.h"

#include <Poco/FileStream.h>
#include <Poco/Nullable.h>
#include <Poco/StreamCopier.h>

using namespace Poco::Data::Keywords;

EntitiesTestDatabase::EntitiesTestDatabase() : _session(_file.path()), _pPreviousDB(Orvik::Utility::Data::pDB)
{
    Poco::FileInputStream schema(ORVIK_SOURCE_DIR "/db/schema.sql");
    std::string text;
    Poco::StreamCopier::copyToString(schema, text);
    _session.executeScript(text);
    exec("PRAGMA synchronous = OFF");  // a throw-away file: no need to wait for the disk
    Orvik::Utility::Data::pDB = &_session;
}

EntitiesTestDatabase::~EntitiesTestDatabase()
{
    Orvik::Utility::Data::pDB = _pPreviousDB;
}

void EntitiesTestDatabase::exec(const std::string& sql)
{
    _session << sql, now;
}

long long EntitiesTestDatabase::queryInt(const std::string& sql)
{
    Poco::Nullable<Poco::Int64> value;
    Poco::Data::Statement statement(_session);
    statement << sql, into(value), limit(1);
    return statement.execute() == 0 || value.isNull() ? -1 : value.value();
}

std::string EntitiesTestDatabase::queryText(const std::string& sql)
{
    Poco::Nullable<std::string> value;
    Poco::Data::Statement statement(_session);
    statement << sql, into(value), limit(1);
    if (statement.execute() == 0)
    {
        return "<none>";
    }
    return value.isNull() ? "<NULL>" : value.value();
}
