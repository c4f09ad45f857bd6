#pragma once

#include <Poco/Nullable.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Types.h>

#include <memory>
#include <string>

#include "Orvik_Utility/Data/TeskDbSession.h"

namespace Orvik::Test
{

/// A configuration database for one test, installed as the host's session (Data::pDB) while it lives and
/// the previous session given back at its end. A new database gets db/schema.sql (with controller
/// _CONTROLLER) and db/apps.sql (the product's apps and their parameters).
class TestDatabase
{
public:
    static constexpr Poco::Int32 _CONTROLLER = 1;

    /// Whether the product's app definitions stay; tests that define apps of their own remove them.
    enum class Apps
    {
        product,
        none
    };

    /// A new database in a temporary file that is removed at the end.
    explicit TestDatabase(Apps apps = Apps::product);
    /// The database in the file at `path`: a missing or empty file gets the schema, an existing database is
    /// opened as it is (a restarted gateway finds what the previous one stored).
    explicit TestDatabase(const std::string& path);
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    Orvik::Utility::Data::TeskDbSession& session() { return *_pSession; }

    /// Runs one or more statements, outside a transaction.
    void exec(const std::string& sql);
    /// The first column of the first row of `sql` as an integer; -1 for NULL or no row.
    long long queryInt(const std::string& sql);
    /// The same as text; "<NULL>" for NULL, "<none>" for no row.
    std::string queryText(const std::string& sql);

    /// Each returns the new row's key.
    Poco::Int32 addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                       Poco::Int32 type = 2);
    Poco::Int32 addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                            bool startNow = false, Poco::Int32 controller = _CONTROLLER);
    /// Parameter number `id` of the app, in the app's parameter group (made when the app has none).
    Poco::Int32 addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype, Poco::Int32 appTag,
                             const std::string& defaultValue);
    /// The key (id_ap_app_property) of parameter number `id` of the app; 0 when it has none.
    Poco::Int32 parameterKey(Poco::Int32 idApApp, Poco::Int32 id);
    /// Removes a parameter definition (to give an app fewer parameters).
    void dropParameter(Poco::Int32 idApAppProperty);

    /// Stores a value in place of any stored before; null stands for NULL.
    void storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                    const Poco::Nullable<std::string>& value);
    /// Null when there is no row or its value is NULL.
    Poco::Nullable<std::string> storedValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty);

private:
    void install(bool fresh);
    Poco::Int32 parameterGroup(Poco::Int32 idApApp);
    Poco::Int32 lastInsertId();

    std::unique_ptr<Poco::TemporaryFile> _pFile;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDB;
};

}  // namespace Orvik::Test
