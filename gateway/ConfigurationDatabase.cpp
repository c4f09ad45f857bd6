#include "ConfigurationDatabase.h"

#include <Poco/Data/DataException.h>
#include <Poco/Data/Statement.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/FileStream.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>

#include "PrivateFile.h"

#include "Orvik_Utility/Data/TeskDbSession.h"

using namespace Poco::Data::Keywords;

namespace Orvik::Gateway
{

const std::vector<std::string> ConfigurationDatabase::_REQUIRED_TABLES = {
    "ap_app", "ap_app_instance", "ap_app_property", "ap_app_property_instance"};

ConfigurationDatabase::ConfigurationDatabase(const std::string& path,
                                             const std::vector<std::string>& creationScripts,
                                             const std::string& catalogueScript)
    : _path(path)
{
    Poco::File file(_path);
    if (file.exists() && file.isDirectory())
        throw Poco::DataFormatException("Configuration database " + _path + " is a folder");
    if (!file.exists())
    {
        Poco::File folder(Poco::Path(_path).makeAbsolute().makeParent());
        if (!folder.exists())
            throw Poco::OpenFileException("Cannot create configuration database " + _path + ": folder " +
                                          folder.path() + " does not exist");
        create(_path, creationScripts);
        _created = true;
    }
    open();
    // A user who may only read the database (show, export) uses it as it is.
    if (!_created && file.canWrite())
        updateCatalogue(catalogueScript);
    Orvik::Utility::Data::pDB = _pSession.get();
}

ConfigurationDatabase::~ConfigurationDatabase()
{
    if (Orvik::Utility::Data::pDB == _pSession.get())
        Orvik::Utility::Data::pDB = nullptr;
}

void ConfigurationDatabase::create(const std::string& path, const std::vector<std::string>& scripts)
{
    // Built under a temporary name: an interrupted or failed creation never leaves a half-made
    // database at the configured path.
    const std::string newPath = path + ".new";
    PrivateFile::create(newPath);
    Poco::File newFile(newPath);
    try
    {
        {
            Orvik::Utility::Data::TeskDbSession session(newPath);
            for (const std::string& script : scripts)
                runScript(session, script);
        }
        newFile.renameTo(path);
    }
    catch (...)
    {
        if (newFile.exists())
            newFile.remove();
        throw;
    }
}

void ConfigurationDatabase::runScript(Orvik::Utility::Data::TeskDbSession& session, const std::string& script)
{
    try
    {
        session.executeScript(readFile(script));
    }
    catch (Poco::Data::DataException& e)
    {
        throw Poco::DataFormatException("SQL script " + script + " failed: " + e.displayText());
    }
}

void ConfigurationDatabase::updateCatalogue(const std::string& script)
{
    int before = 0;
    int after = 0;
    *_pSession << "SELECT total_changes()", into(before), now;
    runScript(*_pSession, script);
    *_pSession << "SELECT total_changes()", into(after), now;
    _catalogueRowsAdded = after - before;
}

std::string ConfigurationDatabase::readFile(const std::string& fileName)
{
    Poco::FileInputStream in(fileName);
    std::string text;
    Poco::StreamCopier::copyToString(in, text);
    return text;
}

void ConfigurationDatabase::open()
{
    try
    {
        _pSession = std::make_unique<Orvik::Utility::Data::TeskDbSession>(_path);
        checkIsConfiguration();
    }
    catch (Poco::Data::DataException& e)
    {
        _pSession.reset();
        throw Poco::DataFormatException(_path + " is not a configuration database: " + e.displayText());
    }
}

void ConfigurationDatabase::checkIsConfiguration() const
{
    for (const std::string& table : _REQUIRED_TABLES)
    {
        if (!hasTable(table))
            throw Poco::DataFormatException(_path + " is not a configuration database: table " + table +
                                            " is missing");
    }
}

bool ConfigurationDatabase::hasTable(const std::string& table) const
{
    int count = 0;
    std::string name = table;
    *_pSession << "SELECT COUNT(*) FROM sqlite_master WHERE type='table' AND name=?", use(name), into(count),
        now;
    return count > 0;
}

bool ConfigurationDatabase::knowsController(Poco::Int32 idDvController) const
{
    int count = 0;
    if (hasTable("dv_controller"))
    {
        *_pSession << "SELECT COUNT(*) FROM dv_controller WHERE id_dv_controller=?", use(idDvController),
            into(count), now;
        return count > 0;
    }
    *_pSession << "SELECT COUNT(*) FROM ap_app_instance WHERE id_dv_controller=?", use(idDvController),
        into(count), now;
    if (count == 0 && hasTable("bn_device"))
        *_pSession << "SELECT COUNT(*) FROM bn_device WHERE id_dv_controller=?", use(idDvController),
            into(count), now;
    return count > 0;
}

std::optional<Poco::UInt32> ConfigurationDatabase::ownDeviceInstance(Poco::Int32 idDvController) const
{
    if (!hasTable("bn_device") || !hasTable("bn_device_object"))
        return std::nullopt;
    std::vector<Poco::UInt32> instances;
    *_pSession
        << "SELECT b.instance_nr FROM bn_device a,bn_device_object b WHERE b.id_bn_device=a.id_bn_device "
           "AND a.id_bn_gw IS NULL AND b.id_bn_object_type=8 AND a.id_dv_controller=? ORDER BY 1 LIMIT 1",
        use(idDvController), into(instances), now;
    if (instances.empty())
        return std::nullopt;
    return instances.front();
}

}  // namespace Orvik::Gateway
