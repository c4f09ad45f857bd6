#ifndef ORVIK_TESTS_APPS_APPTESTDATABASE_H
#define ORVIK_TESTS_APPS_APPTESTDATABASE_H

#include <Poco/Nullable.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Types.h>

#include <memory>
#include <string>

#include "Orvik_Utility/Data/TeskDbSession.h"

/// A fresh configuration database for one test: a temporary SQLite file with the repository's schema,
/// installed as the host's session (Data::pDB) while it lives. The product's app definitions are
/// removed unless asked for; controllers _CONTROLLER and _CONTROLLER + 1 exist.
class AppTestDatabase
{
public:
    static constexpr Poco::Int32 _CONTROLLER = 1;

    explicit AppTestDatabase(bool withProductApps = false);
    ~AppTestDatabase();

    Orvik::Utility::Data::TeskDbSession& session() { return *_pSession; }

    /// Each returns the new row's key.
    Poco::Int32 addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                       Poco::Int32 type = 2);
    Poco::Int32 addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                            bool startNow = false, Poco::Int32 controller = _CONTROLLER);
    /// Parameter number `id` of the app, in the app's parameter group.
    Poco::Int32 addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype, Poco::Int32 appTag,
                             const std::string& defaultValue);

    /// A stored value; null stands for NULL.
    void storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                    const Poco::Nullable<std::string>& value);
    /// Null when there is no row or its value is NULL.
    Poco::Nullable<std::string> storedValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty);

private:
    Poco::Int32 parameterGroup(Poco::Int32 idApApp);
    Poco::Int32 lastInsertId();

    Poco::TemporaryFile _file;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDB;
};

#endif
