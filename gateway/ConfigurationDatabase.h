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
/// Opening never changes an existing file: a path that names a folder, a file that is not an SQLite
/// database, or a database without the app tables gives Poco::DataFormatException (or
/// Poco::OpenFileException when the file cannot be opened at all), and the file stays as it was.
/// A path that does not exist yet is created from the given SQL scripts (the schema first), built
/// under a temporary name and renamed into place only when every script ran, so a failed creation
/// leaves nothing behind. A new database is readable and writable by its owner only (PrivateFile), and
/// so are the journal and WAL files SQLite makes beside it.
class ConfigurationDatabase
{
public:
    /// The tables the app runtime reads; a database without any of them is not a configuration
    /// database.
    static const std::vector<std::string> _REQUIRED_TABLES;

    /// Opens `path`, or creates it from the files `creationScripts` (run in order) when it does not
    /// exist. Sets `Orvik::Utility::Data::pDB`.
    ConfigurationDatabase(const std::string& path, const std::vector<std::string>& creationScripts);
    ConfigurationDatabase(const ConfigurationDatabase&) = delete;
    ConfigurationDatabase& operator=(const ConfigurationDatabase&) = delete;
    /// Clears `Orvik::Utility::Data::pDB` and closes the database.
    ~ConfigurationDatabase();

    const std::string& path() const { return _path; }
    /// True when the database was created by this object.
    bool wasCreated() const { return _created; }

    /// True when the database knows the controller `idDvController`: it has a row in dv_controller
    /// or, in a database without that table, an app instance or a BACnet device of the controller.
    bool knowsController(Poco::Int32 idDvController) const;

    /// The device instance of the controller's own BACnet device (its lowest device object of a
    /// device that is not behind a gateway); empty when the database names none.
    std::optional<Poco::UInt32> ownDeviceInstance(Poco::Int32 idDvController) const;

private:
    static void create(const std::string& path, const std::vector<std::string>& scripts);
    static std::string readFile(const std::string& fileName);
    void open();
    void checkIsConfiguration() const;
    bool hasTable(const std::string& table) const;

    const std::string _path;
    bool _created = false;
    std::unique_ptr<Orvik::Utility::Data::TeskDbSession> _pSession;
};

}  // namespace Orvik::Gateway
