#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Data/SQLite/SessionImpl.h>
#include <Poco/Data/Statement.h>

namespace Orvik::Utility::Data
{

TeskDbSession* pDB = nullptr;

namespace
{
Poco::AutoPtr<Poco::Data::SessionImpl> openSQLite(const std::string& fileName)
{
    return new Poco::Data::SQLite::SessionImpl(fileName, TeskDbSession::_BUSY_TIMEOUT_SEC);
}
}  // namespace

TeskDbSession::TeskDbSession(const std::string& sqliteFile)
    : Poco::Data::Session(openSQLite(sqliteFile)), _fileName(sqliteFile)
{
    (*this) << "PRAGMA foreign_keys = ON", Poco::Data::Keywords::now;
}

void TeskDbSession::executeScript(const std::string& sql)
{
    // The SQLite connector runs a text of several statements one after the other.
    // One transaction: all or nothing, and one disk sync instead of one per statement.
    begin();
    try
    {
        (*this) << sql, Poco::Data::Keywords::now;
    }
    catch (...)
    {
        rollback();
        throw;
    }
    commit();
}

}  // namespace Orvik::Utility::Data
