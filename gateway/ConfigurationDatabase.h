#pragma once

#include <Poco/Types.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Orvik::Utility::Data
{
class TeskDbSession;
}

namespace Orvik::Gateway
{

/// The gateway's configuration database: opened (or created) once at start and made the host's
/// session `Orvik::Utility::Data::pDB` for the apps, until this object is destroyed.
///
/// Opening never changes a file that is not a configuration database: a path that names a folder, a
/// file that is not an SQLite database, or a database without the app tables gives
/// Poco::DataFormatException (or Poco::OpenFileException when the file cannot be opened at all), and
/// the file stays as it was. An existing configuration database that the user may write gets the app
/// catalogue script again (db/apps.sql, repeatable: it only adds the apps and parameters it lacks), so a
/// database made by an earlier version offers what this version ships; a failure gives
/// Poco::DataFormatException and leaves the database as it was. A path that does not exist yet is created
/// from the given SQL scripts (the schema first), built under a temporary name and renamed into place only
/// when every script ran, so a failed creation leaves nothing behind. A new database is readable and writable
/// by its owner only (PrivateFile), and so are the journal and WAL files SQLite makes beside it.
class ConfigurationDatabase
{
public:
    /// The tables the app runtime reads; a database without any of them is not a configuration
    /// database.
    static const std::vector<std::string> _REQUIRED_TABLES;

    /// Opens `path` and runs the file `catalogueScript` in it, or creates it from the files
    /// `creationScripts` (run in order; they include the catalogue) when it does not exist. Sets
    /// `Orvik::Utility::Data::pDB`.
    ConfigurationDatabase(const std::string& path, const std::vector<std::string>& creationScripts,
                          const std::string& catalogueScript);
    ConfigurationDatabase(const ConfigurationDatabase&) = delete;
    ConfigurationDatabase& operator=(const ConfigurationDatabase&) = delete;
    /// Clears `Orvik::Utility::Data::pDB` and closes the database.
    ~ConfigurationDatabase();

    const std::string& path() const { return _path; }
    /// True when the database was created by this object.
    bool wasCreated() const { return _created; }
    /// The app and parameter definitions the catalogue script added to an existing database.
    int catalogueRowsAdded() const { return _catalogueRowsAdded; }

    /// True when the database knows the controller `idDvController`: it has a row in dv_controller
    /// or, in a database without that table, an app instance or a BACnet device of the controller.
    bool knowsController(Poco::Int32 idDvController) const;

    /// The device instance of the controller's own BACnet device (its lowest device object of a
    /// device that is not behind a gateway); empty when the database names none.
    std::optional<Poco::UInt32> ownDeviceInstance(Poco::Int32 idDvController) const;

private:
    static void create(const std::string& path, const std::vector<std::string>& scripts);
    static void runScript(Orvik::Utility::Data::TeskDbSession& session, const std::string& script);
    static std::string readFile(const std::string& fileName);
    void open();
    void updateCatalogue(const std::string& script);
    void checkIsConfiguration() const;
    bool hasTable(const std::string& table) const;

    const std::string _path;
    bool _created = false;
    int _catalogueRowsAdded = 0;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
};

}  // namespace Orvik::Gateway
