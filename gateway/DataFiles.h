#pragma once

#include <string>

namespace Orvik::Gateway
{

/// Where the gateway program finds its data files: the SQL scripts of db/ (the schema new
/// databases are created from, the app catalogue, the demo configuration) and the site files of sites/.
///
/// The folder is the one given, or else the first of: the installed data folder next to the
/// program (<program folder>/../share/orvik-gateway), the source tree the program was built from.
/// A folder counts only when it holds db/schema.sql.
class DataFiles
{
public:
    /// `folder` empty: search from `programFolder` as above. Throws Poco::FileNotFoundException
    /// when no folder with db/schema.sql is found.
    DataFiles(const std::string& folder, const std::string& programFolder);

    const std::string& folder() const { return _folder; }
    std::string schema() const;
    /// The apps the gateway ships and their parameters (repeatable: ConfigurationDatabase).
    std::string appCatalogue() const;
    std::string demoConfiguration() const;
    std::string demoSite() const;
    /// The gateway's own device on BACnet/IP unless --local-device names another description.
    std::string localDevice() const;
    /// The host scripts folder (general/orvik_get_ip.sh, which the trend log export runs).
    std::string scripts() const;

private:
    static bool holdsSchema(const std::string& folder);

    std::string _folder;
};

}  // namespace Orvik::Gateway
