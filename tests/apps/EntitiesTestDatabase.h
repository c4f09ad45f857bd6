#pragma once

#include "Orvik_Utility/Data/TeskDbSession.h"

#include <Poco/Data/Statement.h>
#include <Poco/TemporaryFile.h>

#include <string>

/// A temporary configuration database with the repository's schema, installed as
/// the host's session (pDB) while it lives. Base of the row class test fixtures.
class EntitiesTestDatabase
{
public:
    EntitiesTestDatabase();
    ~EntitiesTestDatabase();

    Orvik::Utility::Data::TeskDbSession& session() { return _session; }

    /// Runs one statement.
    void exec(const std::string& sql);
    /// The first column of the first row of `sql` as an integer; -1 for NULL or no row.
    long long queryInt(const std::string& sql);
    /// The same as text; "<NULL>" for NULL, "<none>" for no row.
    std::string queryText(const std::string& sql);

private:
    Poco::TemporaryFile _file;
    Orvik::Utility::Data::TeskDbSession _session;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDB;
};
