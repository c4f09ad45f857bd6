#ifndef ORVIK_TESTS_APPS_APPTESTDATABASE_H
#define ORVIK_TESTS_APPS_APPTESTDATABASE_H

#include <Poco/Nullable.h>
#include <Poco/TemporaryFile.h>
#include <Poco/Types.h>

#include <memory>
#include <string>

#include "Orvik_Utility/Data/TeskDbSession.h"

/// A fresh configuration database for one test: a temporary SQLite file with the repository's schema,
/// installed as the host's session (Data::pDB) for the test's lifetime. The helpers write the rows that
/// the app runtime reads. The product's app definitions are removed unless asked for.
class AppTestDatabase
{
public:
    /// The controller under test; controller _CONTROLLER + 1 exists too.
    static constexpr Poco::Int32 _CONTROLLER = 1;

    explicit AppTestDatabase(bool withProductApps = false);
    ~AppTestDatabase();

    Orvik::Utility::Data::TeskDbSession& session() { return *_pSession; }

    /// An ap_app row; returns its id_ap_app.
    Poco::Int32 addApp(Poco::Int32 idVendor, Poco::Int32 appId, const std::string& name,
                       Poco::Int32 type = 2);
    /// An ap_app_instance row on `controller`; returns its id_ap_app_instance.
    Poco::Int32 addInstance(Poco::Int32 idApApp, Poco::Int32 instanceNr, bool startAtStartup,
                            bool startNow = false, Poco::Int32 controller = _CONTROLLER);
    /// A parameter definition (number `id` within the app) under the app's parameter group; returns its
    /// id_ap_app_property. `datatype` and `appTag` are the BACnet datatype and application tag numbers.
    Poco::Int32 addParameter(Poco::Int32 idApApp, Poco::Int32 id, Poco::Int32 datatype, Poco::Int32 appTag,
                             const std::string& defaultValue);
    /// A stored value (NULL when `value` is null).
    void storeValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty,
                    const Poco::Nullable<std::string>& value);
    /// The stored value text of a parameter; null when the row is missing or its value NULL.
    Poco::Nullable<std::string> storedValue(Poco::Int32 idApAppInstance, Poco::Int32 idApAppProperty);
    /// Number of ap_app_property_instance rows.
    Poco::Int32 storedValueCount();
    void setStartFlags(Poco::Int32 idApAppInstance, bool startAtStartup, bool startNow);

private:
    Poco::Int32 parameterGroup(Poco::Int32 idApApp);
    Poco::Int32 lastInsertId();

    Poco::TemporaryFile _file;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
    Orvik::Utility::Data::TeskDbSession* _pPreviousDB;
};

#endif
